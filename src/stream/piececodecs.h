// The piece-by-piece codecs of kestrova-cli: UTF-8 and Shift_JIS read and checked on the bytes
// themselves, text written straight into reused buffers.
#pragma once

#include "engine/cp932.h"
#include "io/badbytes.h"
#include "io/codestream.h"
#include "io/jiscodes.h"
#include "io/textcodec.h"
#include "stream/work.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace kestrova::stream {

namespace tables = engine::cp932_tables;

using io::Every;
using io::fitsJisRows;

// Well-formed Shift_JIS: every byte that SjisToSjis takes for a lead byte is followed at once
// by a trail, so the clean-up would change nothing. With decodable, every character is one of
// code page 932 too, and has a form in the output code.
inline bool isPlainShiftJis(std::string_view bytes, bool decodable,
                            io::OutputCode code = io::OutputCode::Sjis,
                            const io::ScanProgress& passed = {},
                            const std::atomic<bool>* stop = nullptr)
{
    // Every character read from code page 932 has its form there, and UTF-8 holds anything.
    const bool rows = decodable && code != io::OutputCode::Sjis && code != io::OutputCode::Utf8;
    const std::uint8_t* s = bytesOf(bytes);
    const std::size_t n = bytes.size();
    Every every(passed, stop);
    for (std::size_t i = 0; i < n;) {
        if (!every.at(i))
            return false; // no longer wanted
        const std::uint8_t b = s[i];
        if (b < 0x80) {
            ++i;
        } else if (b >= 0xA0 && b <= 0xDF) {
            if (decodable && tables::kDecode1[b] == tables::kNoChar)
                return false;
            ++i;
        } else {
            if (i + 1 == n)
                return false;
            const std::uint8_t t = s[i + 1];
            if (decodable
                    ? (!engine::isLeadByte(b) || tables::kDecode2[b << 8 | t] == tables::kNoChar)
                    : !((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)))
                return false;
            if (rows && !fitsJisRows(tables::kEncode[tables::kDecode2[b << 8 | t]]))
                return false;
            i += 2;
        }
    }
    return true;
}

// The byte converters' Shift_JIS of JIS or EUC-JP input, checked for what damage leaves: a
// pair outside the rows of JIS X 0208 (the user area, the IBM rows) or, from JIS, an ESC the
// reading did not take. With the checks of isPlainShiftJis for the output code.
inline bool isUndamagedJis(std::string_view bytes, bool jis, io::OutputCode code)
{
    const io::OutputCode rows = code == io::OutputCode::Jis ? code : io::OutputCode::Euc;
    return (!jis || bytes.find(static_cast<char>(io::kEsc)) == std::string_view::npos) &&
           isPlainShiftJis(bytes, true, rows);
}

// True when the code has a form for the BMP character c.
inline bool hasFormIn(char32_t c, io::OutputCode code)
{
    if (code == io::OutputCode::Utf8)
        return true;
    if (c >= 0x10000 || !(tables::kInfo[c] & engine::InfoBits::kHasForm))
        return false;
    return code == io::OutputCode::Sjis || fitsJisRows(tables::kEncode[c]);
}

inline bool allHaveForms(std::u16string_view text, io::OutputCode code)
{
    for (std::size_t i = 0; i < text.size();) {
        if (!hasFormIn(engine::nextCodePoint(text, i), code))
            return false;
    }
    return true;
}

using io::nextUtf8;

// UTF-8 by the rule of io::isUtf8Text, read in parts: valid throughout, and at least one
// multi-byte character or a byte-order mark; and whether every character has a form in the
// output code. Parts must not split a character: pieces that end at line ends never do.
class Utf8Check
{
public:
    Utf8Check(io::OutputCode code, bool byteOrderMark)
        : m_code(code)
        , m_multiByte(byteOrderMark)
    {
    }

    // False when the bytes are no valid UTF-8.
    bool read(std::string_view bytes, const io::ScanProgress& passed = {})
    {
        const std::uint8_t* s = bytesOf(bytes);
        const std::size_t n = bytes.size();
        const bool check = m_code != io::OutputCode::Utf8;
        Every every(passed);
        for (std::size_t i = 0; i < n;) {
            every.at(i);
            i = io::asciiRunEnd(s, i, n);
            if (i == n)
                break;
            if (const char32_t c = io::threeByteCharacter(s, i, n)) {
                if (check && m_fits)
                    m_fits = hasFormIn(c, m_code);
                m_multiByte = true;
                i += 3;
                continue;
            }
            const std::size_t length = io::utf8SequenceLength(s + i, n - i);
            if (length == 0)
                return false;
            if (check && m_fits) {
                std::size_t at = i;
                m_fits = hasFormIn(nextUtf8(s, at), m_code);
            }
            m_multiByte = true;
            i += length;
        }
        return true;
    }

    bool utf8() const { return m_multiByte; }
    bool fits() const { return m_fits; }

private:
    io::OutputCode m_code;
    bool m_multiByte;
    bool m_fits = true;
};

using io::Scratch;

// The ASCII byte at s[i], i moved past it: a line end (CR LF, a lone CR, a lone LF) goes to
// put as CR and LF, its kind noted in lineEnds when it is not CR LF; any other byte as it is.
template <typename Put>
inline void putAscii(const std::uint8_t* s, std::size_t& i, std::size_t n,
                     io::LineEndKind& lineEnds, Put& put)
{
    const std::uint8_t b = s[i];
    if (b != '\r' && b != '\n') {
        put(b);
        ++i;
        return;
    }
    io::passLineEnd(s, i, n, lineEnds);
    put(U'\r');
    put(U'\n');
}

// Calls put with each character of a piece of valid UTF-8, or of Shift_JIS that decodes, and
// with CR and LF for every line end (CR LF, a lone CR, a lone LF); notes in lineEnds the kind of
// the last line end that was not CR LF. A piece never ends between the CR and LF of a pair.
template <typename Put>
inline void readCharacters(std::string_view piece, bool utf8, io::LineEndKind& lineEnds, Put&& put)
{
    const std::uint8_t* s = bytesOf(piece);
    const std::size_t n = piece.size();
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t b = s[i];
        if (b >= 0x80) {
            // Checked bytes read the same a second time unless the file was written to
            // meanwhile, which is found afterwards: no character may then reach past the end.
            if (i + 4 > n && (utf8 ? io::utf8SequenceLength(s + i, n - i) == 0
                                   : engine::isLeadByte(b) && i + 1 == n)) {
                put(U'\uFFFD');
                ++i;
            } else if (utf8) {
                put(nextUtf8(s, i));
            } else if (engine::isLeadByte(b)) {
                put(tables::kDecode2[b << 8 | s[i + 1]]);
                i += 2;
            } else {
                put(tables::kDecode1[b]);
                ++i;
            }
            continue;
        }
        putAscii(s, i, n, lineEnds, put);
    }
}

enum class Fault
{
    None,
    NotUtf8, // a byte that is no UTF-8: the input is in another code
    Refused, // a character that does not decode, or has no form in the output code
};

// readCharacters for a piece not yet checked: that UTF-8 is valid, that Shift_JIS decodes as
// isPlainShiftJis has it, that every character has a form in code; notes in multiByte a
// multi-byte UTF-8 character. Stops at the first fault.
template <typename Put>
inline Fault readCheckedCharacters(std::string_view piece, bool utf8, io::OutputCode code,
                                   io::LineEndKind& lineEnds, bool& multiByte, Put&& put)
{
    const std::uint8_t* s = bytesOf(piece);
    const std::size_t n = piece.size();
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t b = s[i];
        if (b < 0x80) {
            putAscii(s, i, n, lineEnds, put);
            continue;
        }
        char32_t c = 0;
        if (utf8) {
            if ((c = io::threeByteCharacter(s, i, n)) != 0)
                i += 3;
            else if (io::utf8SequenceLength(s + i, n - i) == 0)
                return Fault::NotUtf8;
            else
                c = nextUtf8(s, i);
            multiByte = true;
        } else if (b >= 0xA0 && b <= 0xDF) {
            c = tables::kDecode1[b];
            ++i;
        } else if (i + 1 < n && engine::isLeadByte(b)) {
            c = tables::kDecode2[b << 8 | s[i + 1]];
            i += 2;
        } else {
            return Fault::Refused;
        }
        if (c == tables::kNoChar || !hasFormIn(c, code))
            return Fault::Refused;
        put(c);
    }
    return Fault::None;
}

// Decodes a piece into UTF-16, every line end made CR LF.
class PieceDecoder
{
public:
    explicit PieceDecoder(bool utf8)
        : m_utf8(utf8)
    {
    }

    std::u16string_view decode(std::string_view piece)
    {
        char16_t* const begin = m_units.reserve(2 * piece.size() + 2);
        char16_t* o = begin;
        readCharacters(piece, m_utf8, m_lineEnds, [&o](char32_t c) { o = put(o, c); });
        return {begin, static_cast<std::size_t>(o - begin)};
    }

    // decode for a piece not yet checked, every character to have a form in code; after a
    // fault the decoder is of no further use.
    Fault decodeChecked(std::string_view piece, io::OutputCode code, std::u16string_view& text)
    {
        char16_t* const begin = m_units.reserve(2 * piece.size() + 2);
        char16_t* o = begin;
        const Fault fault = readCheckedCharacters(piece, m_utf8, code, m_lineEnds, m_multiByte,
                                                  [&o](char32_t c) { o = put(o, c); });
        text = {begin, static_cast<std::size_t>(o - begin)};
        return fault;
    }

    io::LineEndKind lineEnds() const { return m_lineEnds; }
    bool multiByte() const { return m_multiByte; }

private:
    static char16_t* put(char16_t* o, char32_t c) { return io::putUtf16(o, c); }

    bool m_multiByte = false;
    bool m_utf8;
    Scratch<char16_t> m_units;
    io::LineEndKind m_lineEnds = io::LineEndKind::CrLf;
};

using io::putUtf8Bmp;

// Encodes text with CR LF line ends piece after piece, as encodeText does for the whole text:
// UTF-8 with LF (or CR LF), or a Japanese code whose forms the caller has checked.
class PieceEncoder
{
public:
    PieceEncoder(io::OutputCode code, bool crlf)
        : m_code(code)
        , m_crlf(crlf)
    {
    }

    // last closes a JIS text in ASCII.
    std::string_view encode(std::u16string_view text, bool last)
    {
        const std::size_t n = text.size();
        char* const begin = m_bytes.reserve(kMostBytes * n + kClosingBytes);
        char* o = begin;
        for (std::size_t i = 0; i < n;)
            o = put(o, engine::nextCodePoint(text, i));
        if (last)
            o = close(o);
        return {begin, static_cast<std::size_t>(o - begin)};
    }

    // At most an escape and two bytes per character (or UTF-16 unit), and a final escape.
    static constexpr std::size_t kMostBytes = 5;
    static constexpr std::size_t kClosingBytes = 3;

    char* put(char* o, char32_t c)
    {
        if (m_code == io::OutputCode::Utf8)
            return putUtf8(o, c);
        return putForm(o, tables::kEncode[c & 0xFFFF]); // checked: c has a form
    }

    char* close(char* o)
    {
        return asChars(io::jiscodes::shiftTo(asBytes(o), m_code == io::OutputCode::Jis, m_shift,
                                             io::kAsciiState));
    }

private:
    static std::uint8_t* asBytes(char* o) { return reinterpret_cast<std::uint8_t*>(o); }
    static char* asChars(std::uint8_t* o) { return reinterpret_cast<char*>(o); }

    char* putUtf8(char* o, char32_t c)
    {
        if (!m_crlf) {
            // Every line end, however it came, becomes one LF.
            const bool afterCr = m_afterCr;
            m_afterCr = c == U'\r';
            if (c == U'\r' || (c == U'\n' && !afterCr)) {
                *o++ = '\n';
                return o;
            }
            if (c == U'\n')
                return o;
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD; // an unpaired surrogate has no UTF-8 form
        return io::putUtf8(o, c);
    }

    // A form as SjisToSjis, SjisToJis and SjisToEuc write its Shift_JIS bytes.
    char* putForm(char* o, std::uint16_t form)
    {
        if (form < 0x80 && m_shift == io::kAsciiState) {
            *o = static_cast<char>(form); // in every code, the usual character of all
            return o + 1;
        }
        if (m_code == io::OutputCode::Sjis) {
            if (form > 0xFF)
                *o++ = static_cast<char>(form >> 8);
            *o++ = static_cast<char>(form & 0xFF);
            return o;
        }
        return m_code == io::OutputCode::Jis ? putLegacy<true>(o, form) : putLegacy<false>(o, form);
    }

    template <bool kJis> char* putLegacy(char* o, std::uint16_t form)
    {
        std::uint8_t* const out = asBytes(o);
        if (form < 0x80)
            return asChars(io::jiscodes::putAscii(out, kJis, m_shift, form & 0x7F));
        if (form <= 0xFF)
            return asChars(io::jiscodes::putKana(out, kJis, m_shift, form & 0xFF));
        return asChars(io::jiscodes::putPair(out, kJis, m_shift,
                                             io::jiscodes::sjisToJisPair(form >> 8, form & 0xFF)));
    }

    io::OutputCode m_code;
    bool m_crlf;
    bool m_afterCr = false;
    int m_shift = io::kAsciiState; // the JIS writer's state
    Scratch<char> m_bytes;
};

// Where the piece that starts at from ends: just after the first line end (CR LF, a lone CR or
// a lone LF) at or beyond from + pieceBytes, or at the end. CR and LF are never part of a UTF-8
// sequence or a Shift_JIS pair, and a piece never ends between the CR and LF of a pair.
inline std::size_t pieceEnd(std::string_view bytes, std::size_t from, const PieceSizes& pieceBytes)
{
    const std::size_t n = bytes.size();
    for (std::size_t at = from + std::max<std::size_t>(pieceBytes(), 1); at < n; ++at) {
        if (bytes[at] == '\n')
            return at + 1;
        if (bytes[at] == '\r')
            return at + 1 < n && bytes[at + 1] == '\n' ? at + 2 : at + 1;
    }
    return n;
}

// Valid UTF-8, or Shift_JIS that decodes, straight to the output code, without text in between;
// every character must have a form there. Pieces end at line ends.
class DirectConverter
{
public:
    DirectConverter(bool utf8, io::OutputCode code, bool crlf)
        : m_utf8(utf8)
        , m_code(code)
        , m_crlf(crlf)
        , m_encoder(code, crlf)
    {
    }

    std::string_view convert(std::string_view piece, bool last)
    {
        char* const begin = reserve(piece);
        char* o = begin;
        readCharacters(piece, m_utf8, m_lineEnds, [&](char32_t c) { o = put(o, c); });
        if (last)
            o = m_encoder.close(o);
        return {begin, static_cast<std::size_t>(o - begin)};
    }

    // convert for a piece not yet checked, as readCheckedCharacters checks it; after a fault
    // the converter is of no further use.
    Fault convertChecked(std::string_view piece, bool last, std::string_view& bytes)
    {
        char* const begin = reserve(piece);
        char* o = begin;
        const Fault fault = readCheckedCharacters(piece, m_utf8, m_code, m_lineEnds, m_multiByte,
                                                  [&](char32_t c) { o = put(o, c); });
        if (fault != Fault::None)
            return fault;
        if (last)
            o = m_encoder.close(o);
        bytes = {begin, static_cast<std::size_t>(o - begin)};
        return Fault::None;
    }

    io::LineEndKind lineEnds() const { return m_lineEnds; }
    // convertChecked has read a multi-byte UTF-8 character.
    bool multiByte() const { return m_multiByte; }

private:
    char* reserve(std::string_view piece)
    {
        // A byte is at most two characters: a lone line end becomes CR LF.
        return m_bytes.reserve(2 * PieceEncoder::kMostBytes * piece.size() +
                               PieceEncoder::kClosingBytes);
    }

    char* put(char* o, char32_t c)
    {
        if (m_code != io::OutputCode::Utf8)
            return m_encoder.put(o, c);
        // The encoder's UTF-8 without its questions: every character here is valid, and each
        // line end comes as CR and LF.
        if (c < 0x80) {
            if (c != U'\r' || m_crlf)
                *o++ = static_cast<char>(c);
        } else if (c < 0x10000) {
            o = putUtf8Bmp(o, c);
        } else {
            o = m_encoder.put(o, c);
        }
        return o;
    }

    bool m_utf8;
    io::OutputCode m_code;
    bool m_crlf;
    bool m_multiByte = false;
    PieceEncoder m_encoder;
    Scratch<char> m_bytes;
    io::LineEndKind m_lineEnds = io::LineEndKind::CrLf;
};

// The converters' Shift_JIS in pieces that a reader of characters can take: the converters
// write a pair whole, but bytes that were no pair in their input may read as one, so a lead
// byte at a piece's end waits for its trail.
class WholeCharacters
{
public:
    std::string_view take(std::string_view bytes, bool last)
    {
        if (!m_held.empty()) {
            // Joined in a string of its own: bytes may still point into the last one.
            std::string joined;
            joined.reserve(m_held.size() + bytes.size());
            joined.append(m_held).append(bytes);
            m_joined.swap(joined);
            bytes = m_joined;
            m_held.clear();
        }
        if (last)
            return bytes;
        // A byte that is no lead byte ends a character, so the pairs of a run of lead bytes at
        // the end start at the run's start: an odd run ends in a lone lead byte.
        const std::uint8_t* s = bytesOf(bytes);
        std::size_t run = 0;
        while (run < bytes.size() && engine::isLeadByte(s[bytes.size() - 1 - run]))
            ++run;
        if (run % 2 == 1) {
            m_held.assign(1, bytes.back());
            bytes.remove_suffix(1);
        }
        return bytes;
    }

    bool holding() const { return !m_held.empty(); }

private:
    std::string m_held;
    std::string m_joined;
};

} // namespace kestrova::stream
