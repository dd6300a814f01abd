#include "pipeline.h"

#include "engine/cp932.h"
#include "engine/hantozen.h"
#include "engine/quote.h"
#include "engine/reflow.h"
#include "io/codestream.h"
#include "io/jis2sjis.h"
#include "io/textcodec.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace kestrova::cli {
namespace {

namespace tables = engine::cp932_tables;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

const std::uint8_t* bytesOf(std::string_view s)
{
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// Calls passed every so many bytes of a pass over the input, and says there whether the pass
// is still wanted.
class Every
{
public:
    static constexpr std::size_t kBytes = 1 << 20;
    explicit Every(const io::ScanProgress& passed, const std::atomic<bool>* stop = nullptr)
        : m_passed(passed)
        , m_stop(stop)
        , m_next(passed || stop ? kBytes : SIZE_MAX)
    {
    }
    bool at(std::size_t i)
    {
        if (i < m_next)
            return true;
        if (m_passed)
            m_passed(i);
        m_next = i + kBytes;
        return !m_stop || !m_stop->load(std::memory_order_relaxed);
    }

private:
    const io::ScanProgress& m_passed;
    const std::atomic<bool>* m_stop;
    std::size_t m_next;
};

// Lets go of the input behind the passes that read it whole, so that a mapped file is never
// resident all at once: one pass, or two side by side, each from the start of the input. Of
// two, the one ahead waits when it is far ahead, since the input is held from the one behind.
class Passes
{
public:
    static constexpr std::size_t kLead = 8 << 20;

    explicit Passes(const std::function<void(std::size_t)>& consumed)
        : m_consumed(consumed)
    {
    }

    // A new round of count passes (1 or 2) side by side.
    void begin(int count)
    {
        const std::lock_guard lock(m_mutex);
        m_at = {0, count > 1 ? 0 : SIZE_MAX};
    }

    io::ScanProgress reporter(int pass)
    {
        if (!m_consumed)
            return {};
        return [this, pass](std::size_t at) { report(pass, at); };
    }

    // The pass has read all it reads.
    void finish(int pass)
    {
        if (m_consumed)
            report(pass, SIZE_MAX);
    }

private:
    void report(int pass, std::size_t at)
    {
        std::unique_lock lock(m_mutex);
        const auto self = static_cast<std::size_t>(pass);
        m_at[self] = at;
        if (const std::size_t behind = std::min(m_at[0], m_at[1]); behind != SIZE_MAX)
            m_consumed(behind);
        m_moved.notify_all();
        if (at != SIZE_MAX)
            m_moved.wait(lock, [&] {
                const std::size_t other = m_at[1 - self];
                return other == SIZE_MAX || m_at[self] <= other + kLead;
            });
    }

    const std::function<void(std::size_t)>& m_consumed;
    std::mutex m_mutex;
    std::condition_variable m_moved;
    std::array<std::size_t, 2> m_at{};
};

io::OutputCode outputCodeOf(const Options& o)
{
    if (o.command != Command::Convert)
        return o.outputCode;
    switch (o.convertTo) {
    case io::kTargetSjis:
        return io::OutputCode::Sjis;
    case io::kTargetJis:
        return io::OutputCode::Jis;
    case io::kTargetEuc:
        return io::OutputCode::Euc;
    default:
        return io::OutputCode::Utf8;
    }
}

// The kind CrLfConvert returns for bytes whose line ends it would not move.
io::LineEndKind lineEndKind(std::string_view bytes)
{
    io::LineEndKind kind = io::LineEndKind::CrLf;
    const auto* s = bytesOf(bytes);
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (s[i] > '\r')
            continue;
        if (s[i] == '\n')
            kind = io::LineEndKind::Lf;
        else if (s[i] == '\r' && (i + 1 == n || s[i + 1] != '\n'))
            kind = io::LineEndKind::Cr;
        else if (s[i] == '\r')
            ++i; // a CR LF pair
    }
    return kind;
}

int resultWord(io::LineEndKind lineEnds, int family)
{
    return 4 * static_cast<int>(lineEnds) + family;
}
constexpr int kUtf8Family = 3;

bool writeOrFail(Output& out, std::string_view bytes, RunResult& result)
{
    if (bytes.empty() || out.write(bytes))
        return true;
    result.exitStatus = kExitWriteFailed;
    result.error = out.failure();
    return false;
}

// ---- The whole-input path -------------------------------------------------------------------

// Runs the command over the lines of text; last is set for the input's final piece, resumed
// for any piece after the first.
void runLines(const Options& o, engine::ReflowState& state, std::u16string_view text, bool last,
              bool resumed, std::u16string& out)
{
    if (o.command == Command::Widen) {
        out += engine::widenKana(text);
        return;
    }
    std::u16string mark;
    if (o.command == Command::Quote)
        mark = engine::quoteText(u"", o.settings.Inyofu);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(u"\r\n", start);
        if (end == std::u16string_view::npos && !last)
            return; // a piece ends with its CR LF: nothing is left over
        const bool lineEnd = end != std::u16string_view::npos;
        const std::u16string_view line =
            text.substr(start, lineEnd ? end - start : std::u16string_view::npos);
        switch (o.command) {
        case Command::Align:
            engine::reflowLine(line, lineEnd, o.settings, state, out);
            break;
        case Command::Quote:
            // In a text file the final line end ends the last line: the empty piece after it
            // is no line and gets no mark. An empty input is quoted as the window does.
            if (!lineEnd && line.empty() && (start > 0 || resumed))
                return;
            out += mark;
            out += line;
            break;
        case Command::Convert:
            out += line;
            break;
        default:
            out += engine::unquoteText(line, o.settings.Inyofu);
            break;
        }
        if (!lineEnd)
            return;
        if (o.command != Command::Align)
            out += u"\r\n";
        start = end + 2;
    }
}

// Where the piece that starts at from ends: just after the first CR LF at or beyond from +
// kPieceBytes, or at the end. CR and LF are never part of a two-byte character.
std::size_t wholePieceEnd(const io::ByteBuffer& bytes, std::size_t from)
{
    std::size_t at = from + kPieceBytes;
    while (at + 1 < bytes.size()) {
        const auto* cr = static_cast<const std::uint8_t*>(
            std::memchr(bytes.data() + at, '\r', bytes.size() - at - 1));
        if (!cr)
            break;
        at = static_cast<std::size_t>(cr - bytes.data());
        if (bytes[at + 1] == '\n')
            return at + 2;
        ++at;
    }
    return bytes.size();
}

RunResult runWholeText(const Options& o, std::string_view input, Output& out)
{
    RunResult result;
    const std::string source = o.file == "-" ? std::string("standard input") : "'" + o.file + "'";
    const io::PreparedText prepared =
        io::prepareText(io::ByteBuffer(input.begin(), input.end()), true);
    const std::size_t size = prepared.bytes.size();
    const io::OutputCode code = outputCodeOf(o);
    if (o.command == Command::Convert && prepared.utf8) {
        result.resultWord = resultWord(lineEndKind(input), kUtf8Family);
    } else if (o.command == Command::Convert) {
        io::ByteBuffer bytes(input.begin(), input.end());
        result.resultWord = bytes.empty() ? 0 : io::CodeConvert(bytes, io::kTargetSjis);
    }

    engine::ReflowState state;
    engine::beginReflow(state);
    std::u16string text, lines;
    std::string output;
    std::size_t from = prepared.start;
    do {
        const std::size_t to = wholePieceEnd(prepared.bytes, from);
        text.clear();
        if (auto decoded = io::decodePiece(prepared, from, to, text); !decoded) {
            result.exitStatus = kExitBadInput;
            result.error = "cannot read " + source + ": " + decoded.error().reason;
            return result;
        }
        lines.clear();
        runLines(o, state, text, to == size, from > prepared.start, lines);
        if (to == size && o.command == Command::Align)
            engine::endReflow(o.settings, state, lines);
        auto encoded = io::encodeText(lines, code, o.crlf);
        if (!encoded) {
            // Count the lines only now, to name the right one.
            const auto line =
                1 + static_cast<std::size_t>(std::count(output.begin(), output.end(), '\n'));
            result.exitStatus = kExitBadInput;
            result.error = io::encodeText(lines, code, o.crlf, line).error().reason;
            return result;
        }
        output += *encoded;
        from = to;
    } while (from < size);
    writeOrFail(out, output, result);
    return result;
}

// ---- The piece-by-piece path ----------------------------------------------------------------

// JIS and EUC reach only the rows of JIS X 0208 that the Shift_JIS arithmetic maps.
constexpr bool fitsJisRows(std::uint16_t form) { return form <= 0xFF || (form >> 8) <= 0xEF; }

// Well-formed Shift_JIS: every byte that SjisToSjis takes for a lead byte is followed at once
// by a trail, so the clean-up would change nothing. With decodable, every character is one of
// code page 932 too, and has a form in the output code.
bool isPlainShiftJis(std::string_view bytes, bool decodable,
                     io::OutputCode code = io::OutputCode::Sjis,
                     const io::ScanProgress& passed = {}, const std::atomic<bool>* stop = nullptr)
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

// True when the code has a form for the BMP character c.
bool hasFormIn(char32_t c, io::OutputCode code)
{
    if (code == io::OutputCode::Utf8)
        return true;
    if (c >= 0x10000 || !(tables::kInfo[c] & engine::InfoBits::kHasForm))
        return false;
    return code == io::OutputCode::Sjis || fitsJisRows(tables::kEncode[c]);
}

bool allHaveForms(std::u16string_view text, io::OutputCode code)
{
    for (std::size_t i = 0; i < text.size();) {
        if (!hasFormIn(engine::nextCodePoint(text, i), code))
            return false;
    }
    return true;
}

// The code point of the valid UTF-8 sequence at s[i], i moved past it.
inline char32_t nextUtf8(const std::uint8_t* s, std::size_t& i)
{
    const std::uint8_t b = s[i];
    if (b < 0x80) {
        ++i;
        return b;
    }
    if (b < 0xE0) {
        const char32_t c = char32_t(b & 0x1F) << 6 | (s[i + 1] & 0x3F);
        i += 2;
        return c;
    }
    if (b < 0xF0) {
        const char32_t c =
            char32_t(b & 0x0F) << 12 | char32_t(s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F);
        i += 3;
        return c;
    }
    const char32_t c = char32_t(b & 0x07) << 18 | char32_t(s[i + 1] & 0x3F) << 12 |
                       char32_t(s[i + 2] & 0x3F) << 6 | (s[i + 3] & 0x3F);
    i += 4;
    return c;
}

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
            // Runs of ASCII are passed eight bytes at a time.
            while (i + 8 <= n) {
                std::uint64_t word;
                std::memcpy(&word, s + i, 8);
                if (word & 0x8080808080808080ULL)
                    break;
                i += 8;
            }
            if (i == n)
                break;
            const std::uint8_t b = s[i];
            if (b < 0x80) {
                ++i;
                continue;
            }
            // The three-byte sequences of Japanese text, checked in place: E1-EC and EE-EF
            // lead any two continuation bytes; E0 needs A0 and up, ED below A0 (no surrogates).
            if (i + 3 <= n && b >= 0xE0 && b <= 0xEF && (s[i + 1] & 0xC0) == 0x80 &&
                (s[i + 2] & 0xC0) == 0x80 && (b != 0xE0 || s[i + 1] >= 0xA0) &&
                (b != 0xED || s[i + 1] < 0xA0)) {
                if (check && m_fits)
                    m_fits = hasFormIn(char32_t(b & 0x0F) << 12 | char32_t(s[i + 1] & 0x3F) << 6 |
                                           (s[i + 2] & 0x3F),
                                       m_code);
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

// A buffer reused from piece to piece; growing it keeps nothing and zeroes nothing.
template <typename T> class Scratch
{
public:
    T* reserve(std::size_t n)
    {
        if (n > m_capacity) {
            m_capacity = std::max(n, m_capacity * 2);
            m_data.reset(new T[m_capacity]);
        }
        return m_data.get();
    }

private:
    std::unique_ptr<T[]> m_data;
    std::size_t m_capacity = 0;
};

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
            if (utf8) {
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
        ++i;
        if (b == '\r') {
            if (i < n && s[i] == '\n')
                ++i;
            else
                lineEnds = io::LineEndKind::Cr;
            put(U'\r');
            put(U'\n');
        } else if (b == '\n') {
            lineEnds = io::LineEndKind::Lf;
            put(U'\r');
            put(U'\n');
        } else {
            put(b);
        }
    }
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
        readCharacters(piece, m_utf8, m_lineEnds, [&o](char32_t c) {
            if (c < 0x10000) {
                *o++ = static_cast<char16_t>(c);
            } else {
                *o++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                *o++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            }
        });
        return {begin, static_cast<std::size_t>(o - begin)};
    }

    io::LineEndKind lineEnds() const { return m_lineEnds; }

private:
    bool m_utf8;
    Scratch<char16_t> m_units;
    io::LineEndKind m_lineEnds = io::LineEndKind::CrLf;
};

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

    char* close(char* o) { return m_state == kAscii ? o : putEscape(o, '(', 'B', kAscii); }

private:
    enum State
    {
        kAscii,
        kKanji,
        kKana
    };

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
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<char>(0xC0 | c >> 6);
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *o++ = static_cast<char>(0xE0 | c >> 12);
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *o++ = static_cast<char>(0xF0 | c >> 18);
            *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        }
        return o;
    }

    char* putEscape(char* o, char a, char b, State state)
    {
        o[0] = '\x1B';
        o[1] = a;
        o[2] = b;
        m_state = state;
        return o + 3;
    }

    // A form as SjisToJis and SjisToEuc write its Shift_JIS bytes.
    char* putForm(char* o, std::uint16_t form)
    {
        if (form < 0x80) {
            if (m_state != kAscii)
                o = putEscape(o, '(', 'B', kAscii);
            *o++ = static_cast<char>(form);
            return o;
        }
        if (m_code == io::OutputCode::Sjis) {
            if (form > 0xFF)
                *o++ = static_cast<char>(form >> 8);
            *o++ = static_cast<char>(form & 0xFF);
            return o;
        }
        const bool euc = m_code == io::OutputCode::Euc;
        if (form <= 0xFF) { // half-width katakana
            if (euc) {
                *o++ = '\x8E';
            } else if (m_state != kKana) {
                o = putEscape(o, '(', 'I', kKana);
            }
            *o++ = static_cast<char>(euc ? form : form - 0x80);
            return o;
        }
        const int lead = form >> 8;
        const int trail = form & 0xFF;
        int row = 2 * (lead < 0xA0 ? lead - 113 : lead - 177) + 1;
        int cell = trail < 0x80 ? trail - 31 : trail < 0x9F ? trail - 32 : trail - 126;
        if (trail >= 0x9F)
            ++row;
        if (euc) {
            row |= 0x80;
            cell |= 0x80;
        } else if (m_state != kKanji) {
            o = putEscape(o, '$', 'B', kKanji);
        }
        *o++ = static_cast<char>(row);
        *o++ = static_cast<char>(cell);
        return o;
    }

    io::OutputCode m_code;
    bool m_crlf;
    bool m_afterCr = false;
    State m_state = kAscii;
    Scratch<char> m_bytes;
};

// Where the piece that starts at from ends: just after the first line end (CR LF, a lone CR or
// a lone LF) at or beyond from + pieceBytes, or at the end. CR and LF are never part of a UTF-8
// sequence or a Shift_JIS pair, and a piece never ends between the CR and LF of a pair.
std::size_t pieceEnd(std::string_view bytes, std::size_t from, const PieceSizes& pieceBytes)
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

// The code of input that is not UTF-8, and whether it is Shift_JIS that isPlainShiftJis accepts.
// Both scans read the whole input: a large one is read by both at once, on two cores.
struct Classification
{
    io::CodeDetection code;
    bool plainShiftJis = false;
};

Classification classify(std::string_view input, io::OutputCode code, Passes& passes)
{
    Classification found;
    const auto detect = [&](const io::ScanProgress& passed) {
        found.code = io::detectCode(bytesOf(input), input.size(), passed);
    };
    constexpr std::size_t kSideBySideBytes = 1 << 20;
    if (input.size() >= kSideBySideBytes) {
        try {
            passes.begin(2);
            // Detection ends early on JIS or EUC-JP: the check need not go on then.
            std::atomic<bool> notShiftJis = false;
            std::thread detection([&] {
                detect(passes.reporter(0));
                notShiftJis = found.code.family != io::CodeFamily::Sjis;
                passes.finish(0);
            });
            const bool plain = isPlainShiftJis(input, true, code, passes.reporter(1), &notShiftJis);
            passes.finish(1);
            detection.join();
            found.plainShiftJis = plain && found.code.family == io::CodeFamily::Sjis;
            return found;
        } catch (const std::system_error&) {
            // no thread to be had: one after the other
        }
    }
    passes.begin(1);
    detect(passes.reporter(0));
    if (found.code.family == io::CodeFamily::Sjis) {
        passes.begin(1);
        found.plainShiftJis = isPlainShiftJis(input, true, code, passes.reporter(0));
    }
    return found;
}

// One final end-of-file byte goes, as CodeConvert and the text reader drop it.
std::string_view withoutEndOfFile(std::string_view bytes)
{
    if (!bytes.empty() && static_cast<std::uint8_t>(bytes.back()) == io::kEndOfFile)
        bytes.remove_suffix(1);
    return bytes;
}

using Consumed = std::function<void(std::size_t)>;

// The pieces of a pass that cuts anywhere: the byte converters take any cut.
template <typename Work>
bool eachPiece(std::string_view input, const PieceSizes& pieceBytes, const Consumed& consumed,
               Work&& work)
{
    std::size_t from = 0;
    do {
        const std::size_t to =
            std::min(input.size(), from + std::max<std::size_t>(pieceBytes(), 1));
        if (!work(input.substr(from, to - from), to == input.size()))
            return false;
        if (consumed)
            consumed(to);
        from = to;
    } while (from < input.size());
    return true;
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

    enum class Fault
    {
        None,
        NotUtf8, // a byte that is no UTF-8: the input is in another code
        Refused, // a character that does not decode, or has no form in the output code
    };

    // convert for a piece not yet checked: that UTF-8 is valid, that Shift_JIS decodes as
    // isPlainShiftJis has it, that every character has a form in the output code. After a
    // fault the converter is of no further use.
    Fault convertChecked(std::string_view piece, bool last, std::string_view& bytes)
    {
        char* const begin = reserve(piece);
        char* o = begin;
        const std::uint8_t* s = bytesOf(piece);
        const std::size_t n = piece.size();
        for (std::size_t i = 0; i < n;) {
            const std::uint8_t b = s[i];
            if (b < 0x80) {
                ++i;
                if (b == '\r') {
                    if (i < n && s[i] == '\n')
                        ++i;
                    else
                        m_lineEnds = io::LineEndKind::Cr;
                    o = put(put(o, U'\r'), U'\n');
                } else if (b == '\n') {
                    m_lineEnds = io::LineEndKind::Lf;
                    o = put(put(o, U'\r'), U'\n');
                } else {
                    o = put(o, b);
                }
                continue;
            }
            char32_t c = 0;
            if (m_utf8) {
                if (i + 3 <= n && b >= 0xE0 && b <= 0xEF && (s[i + 1] & 0xC0) == 0x80 &&
                    (s[i + 2] & 0xC0) == 0x80 && (b != 0xE0 || s[i + 1] >= 0xA0) &&
                    (b != 0xED || s[i + 1] < 0xA0)) {
                    c = char32_t(b & 0x0F) << 12 | char32_t(s[i + 1] & 0x3F) << 6 |
                        (s[i + 2] & 0x3F);
                    i += 3;
                } else if (io::utf8SequenceLength(s + i, n - i) == 0) {
                    return Fault::NotUtf8;
                } else {
                    c = nextUtf8(s, i);
                }
                m_multiByte = true;
            } else if (b >= 0xA0 && b <= 0xDF) {
                c = tables::kDecode1[b];
                ++i;
            } else if (i + 1 < n && engine::isLeadByte(b)) {
                c = tables::kDecode2[b << 8 | s[i + 1]];
                i += 2;
            } else {
                return Fault::Refused;
            }
            if (c == tables::kNoChar || !hasFormIn(c, m_code))
                return Fault::Refused;
            o = put(o, c);
        }
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
        } else if (c < 0x800) {
            o[0] = static_cast<char>(0xC0 | c >> 6);
            o[1] = static_cast<char>(0x80 | (c & 0x3F));
            o += 2;
        } else if (c < 0x10000) {
            o[0] = static_cast<char>(0xE0 | c >> 12);
            o[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            o[2] = static_cast<char>(0x80 | (c & 0x3F));
            o += 3;
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

RunResult convertDirect(const Options& o, std::string_view text, bool utf8, Output& out,
                        const PieceSizes& pieceBytes, const Consumed& consumed,
                        io::LineEndKind& lineEnds)
{
    RunResult result;
    DirectConverter converter(utf8, outputCodeOf(o), o.crlf);
    std::size_t from = 0;
    do {
        const std::size_t to = pieceEnd(text, from, pieceBytes);
        if (!writeOrFail(out, converter.convert(text.substr(from, to - from), to == text.size()),
                         result))
            return result;
        if (consumed)
            consumed(to);
        from = to;
    } while (from < text.size());
    lineEnds = converter.lineEnds();
    return result;
}

// The converters' Shift_JIS in pieces that a reader of characters can take: the converters
// write a pair whole, but bytes that were no pair in their input may read as one, so a lead
// byte at a piece's end waits for its trail.
class WholeCharacters
{
public:
    std::string_view take(std::string_view bytes, bool last)
    {
        if (!m_held.empty()) {
            m_joined = m_held;
            m_joined += bytes;
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
            m_held = bytes.substr(bytes.size() - 1);
            bytes.remove_suffix(1);
        }
        return bytes;
    }

    bool holding() const { return !m_held.empty(); }

private:
    std::string m_held;
    std::string m_joined;
};

// convert of JIS, EUC-JP or Shift_JIS through the byte converters as the input comes; to UTF-8
// through Shift_JIS that a first pass found to decode.
RunResult convertStreamed(const Options& o, std::string_view input, io::CodeDetection code,
                          Output& out, const PieceSizes& pieceBytes, const Consumed& consumed)
{
    RunResult result;
    const bool toUtf8 = o.convertTo == kConvertToUtf8;
    io::CodeConvertStream stream(code, toUtf8 ? io::kTargetSjis : o.convertTo);
    DirectConverter direct(false, io::OutputCode::Utf8, o.crlf);
    WholeCharacters characters;
    if (!eachPiece(input, pieceBytes, consumed, [&](std::string_view piece, bool last) {
            std::string_view bytes = stream.convert(piece, last);
            if (toUtf8)
                bytes = direct.convert(characters.take(bytes, last), last);
            return writeOrFail(out, bytes, result);
        }))
        return result;
    result.resultWord = stream.resultWord();
    return result;
}

// A text command over its pieces: decoded, worked and encoded, each written when it is ready.
class TextWork
{
public:
    TextWork(const Options& o, bool utf8)
        : m_options(o)
        , m_decoder(utf8)
        , m_encoder(outputCodeOf(o), o.crlf)
    {
        engine::beginReflow(m_state);
    }

    // A piece ends with a line end unless it is the last.
    bool piece(std::string_view bytes, bool last, Output& out, RunResult& result)
    {
        const std::u16string_view decoded = m_decoder.decode(bytes);
        m_lines.clear();
        runLines(m_options, m_state, decoded, last, m_resumed, m_lines);
        m_resumed = m_resumed || !bytes.empty();
        if (last && m_options.command == Command::Align)
            engine::endReflow(m_options.settings, m_state, m_lines);
        return writeOrFail(out, m_encoder.encode(m_lines, last), result);
    }

    io::LineEndKind lineEnds() const { return m_decoder.lineEnds(); }

private:
    const Options& m_options;
    PieceDecoder m_decoder;
    PieceEncoder m_encoder;
    engine::ReflowState m_state;
    std::u16string m_lines;
    bool m_resumed = false;
};

// The text route over text that decodes without fault, every character of it with a form in
// the output code; lineEnds receives the kind of the line ends it read.
RunResult runPieces(const Options& o, std::string_view text, bool utf8, Output& out,
                    const PieceSizes& pieceBytes, const Consumed& consumed,
                    io::LineEndKind& lineEnds)
{
    RunResult result;
    TextWork work(o, utf8);
    std::size_t from = 0;
    do {
        const std::size_t to = pieceEnd(text, from, pieceBytes);
        if (!work.piece(text.substr(from, to - from), to == text.size(), out, result))
            return result;
        if (consumed)
            consumed(to);
        from = to;
    } while (from < text.size());
    lineEnds = work.lineEnds();
    return result;
}

// Nothing may be written before the input is known to give no refusal: every character it
// holds or the command adds has a form in the output code.
bool extrasFit(const Options& o)
{
    const io::OutputCode code = outputCodeOf(o);
    return allHaveForms(o.settings.EnterMes, code) && allHaveForms(o.settings.Inyofu, code);
}

// Output held back while the input is still being checked, since a refusal found late must
// leave standard output empty. Up to a limit: past that, the caller checks the rest of the
// input before it lets the held bytes go, so that memory stays bounded whatever the input.
class HeldOutput : public Output
{
public:
    HeldOutput(Output& out, std::size_t limit)
        : m_out(out)
        , m_limit(limit)
    {
    }

    bool write(std::string_view bytes) override
    {
        if (m_released)
            return m_out.write(bytes);
        if (m_held.capacity() == 0)
            m_held.reserve(m_limit + kPieceBytes); // pages are taken only as they are used
        m_held.append(bytes);
        return true;
    }
    std::string failure() const override { return m_out.failure(); }

    bool full() const { return !m_released && m_held.size() >= m_limit; }

    // The input is known to give no refusal: what is held goes out, and the rest goes straight.
    bool release()
    {
        m_released = true;
        const bool written = m_held.empty() || m_out.write(m_held);
        std::string().swap(m_held);
        return written;
    }

private:
    Output& m_out;
    std::size_t m_limit;
    std::string m_held;
    bool m_released = false;
};

RunResult writeFailed(const Output& out)
{
    RunResult result;
    result.exitStatus = kExitWriteFailed;
    result.error = out.failure();
    return result;
}

// One half of a convert run on two cores at once: UTF-8, or the byte converters' Shift_JIS,
// checked and converted into memory.
class Half
{
public:
    Half(const Options& o, bool utf8, const io::CodeDetection* code)
        : m_direct(utf8, outputCodeOf(o), o.crlf)
    {
        if (code)
            m_stream.emplace(*code, io::kTargetSjis);
    }

    // False on a fault, or when the bytes would pass limit. following is the number of input
    // bytes after the half.
    bool run(std::string_view half, std::size_t following, std::size_t limit)
    {
        const bool last = following == 0;
        const PieceSizes pieceBytes = [] { return kPieceBytes; };
        for (std::size_t from = 0; from < half.size();) {
            const std::size_t to = m_stream ? std::min(half.size(), from + kPieceBytes)
                                            : pieceEnd(half, from, pieceBytes);
            const bool end = last && to == half.size();
            std::string_view bytes = half.substr(from, to - from);
            if (m_stream)
                bytes = m_characters.take(
                    m_stream->convert(bytes, end, to == half.size() ? following : 0), end);
            std::string_view converted;
            if (m_direct.convertChecked(bytes, end, converted) != DirectConverter::Fault::None ||
                m_bytes.size() + converted.size() > limit)
                return false;
            m_bytes += converted;
            from = to;
        }
        return true;
    }

    // Once the first half has run: its converters stand where a fresh start stands.
    bool endsFresh(const io::CodeDetection& code) const
    {
        return !m_characters.holding() &&
               (!m_stream || m_stream->sameState(io::CodeConvertStream(code, io::kTargetSjis)));
    }

    std::string_view bytes() const { return m_bytes; }
    bool multiByte() const { return m_direct.multiByte(); }
    io::LineEndKind lineEnds() const
    {
        return m_stream ? m_stream->lineEnds() : m_direct.lineEnds();
    }

private:
    std::optional<io::CodeConvertStream> m_stream;
    WholeCharacters m_characters;
    DirectConverter m_direct;
    std::string m_bytes;
};

// Where convert may cut the input in two: after the first line feed past the middle, for an
// input large enough to be worth a second core and small enough for its result to be held.
std::size_t halfway(std::string_view input, std::size_t heldBytes)
{
    constexpr std::size_t kTwoCoresBytes = 1 << 20;
    if (input.size() < kTwoCoresBytes || input.size() > heldBytes)
        return 0;
    const std::size_t lineFeed = input.find('\n', input.size() / 2);
    return lineFeed == std::string_view::npos || lineFeed + 3 > input.size() ? 0 : lineFeed + 1;
}

// Both halves at once, the second from a fresh start; false when either found a fault, held
// too much, or no second thread was to be had.
bool runHalves(Half& first, Half& second, std::string_view input, std::size_t split,
               std::size_t heldBytes)
{
    try {
        bool secondDone = false;
        std::thread other([&] { secondDone = second.run(input.substr(split), 0, heldBytes / 2); });
        const bool firstDone =
            first.run(input.substr(0, split), input.size() - split, heldBytes / 2);
        other.join();
        return firstDone && secondDone;
    } catch (const std::system_error&) {
        return false;
    }
}

// Writes the two halves; the line-end kind is the last one's that found one.
RunResult writeHalves(const Half& first, const Half& second, Output& out, int family)
{
    RunResult result;
    if (writeOrFail(out, first.bytes(), result) && writeOrFail(out, second.bytes(), result))
        result.resultWord = resultWord(
            second.lineEnds() != io::LineEndKind::CrLf ? second.lineEnds() : first.lineEnds(),
            family);
    return result;
}

// Input read as UTF-8 in one pass that checks each piece before it works on it. Gives nothing
// when the input is no UTF-8 after all; nothing has been written then.
std::optional<RunResult> tryUtf8(const Options& o, std::string_view input, Output& out,
                                 const PieceSizes& pieceBytes, const Consumed& consumed,
                                 std::size_t heldBytes)
{
    const bool isConvert = o.command == Command::Convert;
    const bool byteOrderMark = input.substr(0, 3) == kByteOrderMark;
    const std::size_t offset = byteOrderMark ? 3 : 0;
    const std::string_view text = withoutEndOfFile(input.substr(offset));
    const auto report = [&](std::size_t upTo) {
        if (consumed)
            consumed(offset + upTo);
    };
    // Text with no byte above 0x7F at all (ASCII, JIS) is no UTF-8 by the rule; found at once.
    const auto* high = std::find_if(text.begin(), text.end(),
                                    [](char c) { return static_cast<std::uint8_t>(c) >= 0x80; });
    if (!byteOrderMark && high == text.end())
        return std::nullopt;
    Utf8Check check(outputCodeOf(o), byteOrderMark);
    HeldOutput held(out, heldBytes);
    DirectConverter direct(true, outputCodeOf(o), o.crlf);
    TextWork work(o, true);
    RunResult result;
    if (const std::size_t split = halfway(text, heldBytes); isConvert && split) {
        Half first(o, true, nullptr);
        Half second(o, true, nullptr);
        if (runHalves(first, second, text, split, heldBytes)) {
            if (!byteOrderMark && !first.multiByte() && !second.multiByte())
                return std::nullopt;
            report(text.size());
            return writeHalves(first, second, out, kUtf8Family);
        }
    }
    bool working = isConvert || extrasFit(o); // else it ends in a refusal, if UTF-8 at all
    bool checkedAll = false;
    const auto isUtf8 = [&] { return check.utf8() || direct.multiByte(); };
    std::size_t from = 0;
    do {
        const std::size_t to = pieceEnd(text, from, pieceBytes);
        const bool last = to == text.size();
        const std::string_view piece = text.substr(from, to - from);
        if (working && held.full()) {
            // No more is held: the rest of the input is checked before anything is written.
            if (!check.read(text.substr(from), [&](std::size_t at) { report(from + at); }))
                return std::nullopt;
            checkedAll = true;
            if (!isUtf8())
                return std::nullopt;
            working = check.fits();
            if (working && !held.release())
                return writeFailed(held);
        }
        if (checkedAll) {
            if (working && !(isConvert ? writeOrFail(held, direct.convert(piece, last), result)
                                       : work.piece(piece, last, held, result)))
                return result;
        } else if (isConvert && working) {
            // One loop checks and converts.
            std::string_view bytes;
            switch (direct.convertChecked(piece, last, bytes)) {
            case DirectConverter::Fault::NotUtf8:
                return std::nullopt;
            case DirectConverter::Fault::Refused:
                working = false;
                if (!check.read(piece))
                    return std::nullopt;
                break;
            case DirectConverter::Fault::None:
                if (!writeOrFail(held, bytes, result))
                    return result;
                break;
            }
        } else {
            if (!check.read(piece))
                return std::nullopt;
            working = working && check.fits();
            if (working && !(isConvert ? writeOrFail(held, direct.convert(piece, last), result)
                                       : work.piece(piece, last, held, result)))
                return result;
        }
        report(to);
        from = to;
    } while (from < text.size());
    if (!isUtf8())
        return std::nullopt;
    if (!working)
        return runWhole(o, input, out); // it words the refusal
    if (!held.release())
        return writeFailed(held);
    if (isConvert)
        result.resultWord = resultWord(direct.lineEnds(), kUtf8Family);
    return result;
}

// JIS, EUC-JP or Shift_JIS the clean-up changes, through the byte converters in one pass that
// checks each piece of their Shift_JIS before it works on it: convert to UTF-8, or a text
// command. Past heldBytes of output a copy of the converters checks the rest of the input
// first.
RunResult runChecked(const Options& o, std::string_view input, io::CodeDetection code, Output& out,
                     const PieceSizes& pieceBytes, const Consumed& consumed, std::size_t heldBytes)
{
    const bool isConvert = o.command == Command::Convert;
    const io::OutputCode output = outputCodeOf(o);
    if (!isConvert && !extrasFit(o))
        return runWhole(o, input, out); // it words the refusal
    if (const std::size_t split = halfway(input, heldBytes); isConvert && split) {
        Half first(o, false, &code);
        Half second(o, false, &code);
        if (runHalves(first, second, input, split, heldBytes) && first.endsFresh(code)) {
            if (consumed)
                consumed(input.size());
            return writeHalves(first, second, out, static_cast<int>(code.family));
        }
    }
    io::CodeConvertStream stream(code, io::kTargetSjis);
    WholeCharacters characters;
    HeldOutput held(out, heldBytes);
    DirectConverter direct(false, io::OutputCode::Utf8, o.crlf);
    TextWork work(o, false);
    std::string lines; // converted bytes up to the last line end seen, and what follows it
    RunResult result;
    const auto checks = [&](io::CodeConvertStream& converter, WholeCharacters& whole,
                            std::string_view piece, bool last) {
        return isPlainShiftJis(whole.take(converter.convert(piece, last), last), true, output);
    };
    bool checkedAll = false;
    std::size_t from = 0;
    do {
        const std::size_t to =
            std::min(input.size(), from + std::max<std::size_t>(pieceBytes(), 1));
        const bool last = to == input.size();
        const std::string_view bytes =
            characters.take(stream.convert(input.substr(from, to - from), last), last);
        // convert checks in the loop that converts; the text commands check first.
        if (!checkedAll && (!isConvert || held.full()) && !isPlainShiftJis(bytes, true, output))
            return runWhole(o, input, out); // it words the refusal
        if (held.full()) {
            io::CodeConvertStream checker = stream;
            WholeCharacters checkerCharacters = characters;
            for (std::size_t at = to; at < input.size();) {
                const std::size_t next = std::min(input.size(), at + kPieceBytes);
                if (!checks(checker, checkerCharacters, input.substr(at, next - at),
                            next == input.size()))
                    return runWhole(o, input, out);
                if (consumed)
                    consumed(next);
                at = next;
            }
            checkedAll = true;
            if (!held.release())
                return writeFailed(held);
        }
        if (isConvert) {
            std::string_view converted;
            if (checkedAll)
                converted = direct.convert(bytes, last);
            else if (direct.convertChecked(bytes, last, converted) != DirectConverter::Fault::None)
                return runWhole(o, input, out); // it words the refusal
            if (!writeOrFail(held, converted, result))
                return result;
        } else {
            lines += bytes;
            std::size_t cut = lines.size();
            if (!last) {
                const std::size_t end = lines.rfind("\r\n");
                cut = end == std::string::npos ? 0 : end + 2;
            }
            if ((cut > 0 || last) &&
                !work.piece(std::string_view(lines).substr(0, cut), last, held, result))
                return result;
            lines.erase(0, cut);
        }
        if (consumed)
            consumed(to);
        from = to;
    } while (from < input.size());
    if (!held.release())
        return writeFailed(held);
    if (isConvert)
        result.resultWord = stream.resultWord();
    return result;
}

} // namespace

RunResult runWhole(const Options& o, std::string_view input, Output& out)
{
    if (o.command == Command::Convert && o.convertTo != kConvertToUtf8 && !io::isUtf8Text(input)) {
        RunResult result;
        io::ByteBuffer bytes(input.begin(), input.end());
        result.resultWord = bytes.empty() ? 0 : io::CodeConvert(bytes, o.convertTo);
        writeOrFail(out,
                    std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                    result);
        return result;
    }
    return runWholeText(o, input, out);
}

RunResult runPipeline(const Options& o, std::string_view input, Output& out,
                      const PieceSizes& pieceSizes, const Consumed& consumed, std::size_t heldBytes)
{
    const PieceSizes pieceBytes = pieceSizes ? pieceSizes : PieceSizes([] { return kPieceBytes; });
    const bool isConvert = o.command == Command::Convert;
    const io::OutputCode code = outputCodeOf(o);
    // UTF-8 first: the first byte that is none ends the try, in most other text at once.
    if (std::optional<RunResult> result = tryUtf8(o, input, out, pieceBytes, consumed, heldBytes))
        return *result;
    Passes passes(consumed);
    io::LineEndKind lineEnds = io::LineEndKind::CrLf;

    if (isConvert && o.convertTo != kConvertToUtf8) {
        // Any bytes convert to a Japanese code: the code is all that must be known first.
        passes.begin(1);
        const io::CodeDetection detected =
            io::detectCode(bytesOf(input), input.size(), passes.reporter(0));
        return convertStreamed(o, input, detected, out, pieceBytes, consumed);
    }

    const Classification found = classify(input, code, passes);
    if (found.plainShiftJis && (isConvert || extrasFit(o))) {
        const std::string_view text = withoutEndOfFile(input);
        RunResult result = isConvert
                               ? convertDirect(o, text, false, out, pieceBytes, consumed, lineEnds)
                               : runPieces(o, text, false, out, pieceBytes, consumed, lineEnds);
        if (isConvert && result.exitStatus == kExitDone)
            result.resultWord = input.empty() ? 0 : resultWord(lineEnds, 0);
        return result;
    }
    return runChecked(o, input, found.code, out, pieceBytes, consumed, heldBytes);
}

std::string detectStatus(std::string_view input)
{
    if (io::isUtf8Text(input))
        return "UTF-8" + io::codeStatus({io::CodeFamily::Sjis, lineEndKind(input)});
    const io::CodeDetection code = io::detectCode(bytesOf(input), input.size());
    if (code.family == io::CodeFamily::Sjis && isPlainShiftJis(input, false))
        return io::codeStatus({code.family, lineEndKind(input)});
    // The converters may move line ends: ask them, a piece at a time.
    io::CodeConvertStream stream(code, io::kTargetSjis);
    static_cast<void>(eachPiece(input, [] { return kPieceBytes; }, {},
                                [&](std::string_view piece, bool last) {
                                    static_cast<void>(stream.convert(piece, last));
                                    return true;
                                }));
    return io::codeStatus(io::decodeConvertResult(stream.resultWord()));
}

} // namespace kestrova::cli
