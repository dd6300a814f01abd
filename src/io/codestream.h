// The code converters as byte automata: CodeConvert and each of its converters, for input read
// piece by piece or whole. A text of any length is converted in one pass through a buffer of the
// piece's size.
#pragma once

#include "io/jis2sjis.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace kestrova::io {

namespace jiscodes {
struct JisPair;
}

// A buffer reused from piece to piece; growing it keeps nothing and zeroes nothing. A copy starts
// with a room of its own, so that a copied converter goes on from the same state without sharing
// where it writes.
template <typename T> class Scratch
{
public:
    Scratch() = default;
    Scratch(const Scratch&) {}
    Scratch& operator=(const Scratch&) { return *this; }
    ~Scratch() = default;
    T* reserve(std::size_t n)
    {
        if (n > m_capacity) {
            m_capacity = std::max(n, 2 * m_capacity);
            m_data.reset(new T[m_capacity]);
        }
        return m_data.get();
    }

private:
    std::unique_ptr<T[]> m_data;
    std::size_t m_capacity = 0;
};

// The pieces' results joined are the whole input's, whatever the pieces. For CodeConvert the
// code must come from a detection scan of the whole input, since the pieces alone cannot say it.
class CodeConvertStream
{
public:
    // A reader to Shift_JIS (Copy reads nothing), then a writer from it (Copy writes Shift_JIS).
    enum class Reader : std::uint8_t
    {
        Copy,
        Sjis, // SjisToSjis
        Jis,  // JisToSjis
        Euc,  // EucToSjis
    };
    enum class Writer : std::uint8_t
    {
        Copy,
        Jis, // SjisToJis
        Euc, // SjisToEuc
    };
    // The converters one stream runs, in CodeConvert's order.
    struct Chain
    {
        Reader reader = Reader::Copy;
        int jisStart = kAsciiState; // JisToSjis's start state
        Writer writer = Writer::Copy;
        bool crLf = false;          // CrLfConvert's line ends
        bool dropEndOfFile = false; // CodeConvert's final 0x1A goes
    };

    // CodeConvert's chain for the code and the target.
    CodeConvertStream(CodeDetection code, int target);
    explicit CodeConvertStream(Chain chain);

    // The whole buffer converted, as the chain's converters in turn would leave it.
    void convertWhole(ByteBuffer& buffer);

    // The converted bytes of the next piece, valid until the next call. last ends the input;
    // following, when not 0, is how many bytes of input follow the piece; when it is 0 and more
    // follow, up to two bytes wait for the bytes after them.
    [[nodiscard]] std::string_view convert(std::string_view piece, bool last,
                                           std::size_t following = 0);

    // Both streams would convert what follows alike: the same reading and writing states, no
    // byte waiting. The line-end kind and the result word may differ.
    [[nodiscard]] bool sameState(const CodeConvertStream& other) const;
    [[nodiscard]] LineEndKind lineEnds() const { return static_cast<LineEndKind>(m_lineEnds); }

    // CodeConvert's result word, once the last piece is in.
    [[nodiscard]] int resultWord() const
    {
        return m_empty ? 0 : 4 * m_lineEnds + static_cast<int>(m_family);
    }

private:
    enum class Mode : std::uint8_t
    {
        Text,
        Escape,      // after ESC, looking for "$" or "("
        KanjiSet,    // after ESC $, looking for "@" or "B"
        OneByteSet,  // after ESC (, looking for "B", "J" or "I"
        LeadPending, // a lead or row byte waits for its trail or cell
    };

    void read(const std::uint8_t* in, std::size_t to, std::size_t end);
    std::size_t readShortWay(const std::uint8_t* in, std::size_t i, std::size_t to);
    template <bool kWrite>
    std::size_t readCopy(const std::uint8_t* in, std::size_t i, std::size_t to);
    std::size_t writePlain(const std::uint8_t* in, std::size_t i, std::size_t to);
    template <Writer kWriter>
    std::size_t writePlain(const std::uint8_t* in, std::size_t i, std::size_t to);
    std::size_t readThenWrite(const std::uint8_t* in, std::size_t i, std::size_t to);
    template <Reader kReader>
    std::size_t readPlain(const std::uint8_t* in, std::size_t i, std::size_t to);
    void readByte(std::uint8_t b, std::size_t after);
    void readJis(std::uint8_t b, std::size_t after);
    void write(std::uint8_t b);
    void writeLegacy(std::uint8_t b);
    void writePair(jiscodes::JisPair pair);
    void put(std::uint8_t b)
    {
        if (!m_pendingCr && b != '\r' && b != '\n')
            *m_out++ = b;
        else
            putLineEnd(b);
    }
    void putBytes(const std::uint8_t* from, const std::uint8_t* to)
    {
        for (; from != to; ++from)
            put(*from);
    }
    void putLineEnd(std::uint8_t b);
    void finish();
    // The most bytes a piece of n bytes can come out as: a stray lead byte in JIS takes two
    // escapes and a geta mark, each line end two bytes; and what the end adds.
    [[nodiscard]] std::size_t outputBound(std::size_t n) const
    {
        return (m_writer == Writer::Jis ? 5 : 2) * n + 32;
    }

    CodeFamily m_family = CodeFamily::Sjis;
    Reader m_reader = Reader::Copy;
    Writer m_writer = Writer::Copy;
    bool m_crLf = true;
    bool m_dropEndOfFile = true;
    std::size_t m_hold = 0; // bytes a reader must see after one before it reads it

    Mode m_mode = Mode::Text;
    int m_shift = kAsciiState;       // the reader's JIS state
    int m_lead = -1;                 // the reader's waiting lead or row byte
    int m_writerShift = kAsciiState; // the JIS writer's state
    int m_writerLead = -1;           // the writer's waiting Shift_JIS lead byte
    bool m_empty = true;             // an empty input has result word 0, whatever its code
    bool m_pendingCr = false;
    int m_lineEnds = 0;
    bool m_heldEndOfFile = false; // a final 0x1A is dropped: one at a piece's end waits

    // Where a piece's bytes are written.
    std::uint8_t m_carry[2] = {};
    std::size_t m_carried = 0;
    Scratch<std::uint8_t> m_room;
    std::uint8_t* m_out = nullptr;
};

} // namespace kestrova::io
