#include "stream/refusals.h"

#include "engine/cp932.h"
#include "engine/reflow.h"
#include "io/codestream.h"
#include "io/jiscodes.h"
#include "io/textcodec.h"
#include "stream/piececodecs.h"
#include "stream/work.h"

#include <array>
#include <cstdio>
#include <initializer_list>
#include <string>

namespace kestrova::stream {
namespace {

using Consumed = std::function<void(std::size_t)>;
using ByteSet = std::array<bool, 256>;

// The line that byte offset lies on: CR LF, a lone CR and a lone LF each end a line, as the
// input has them.
std::size_t lineOfOffset(std::string_view bytes, std::size_t offset, const Consumed& consumed)
{
    Every every(consumed);
    std::size_t line = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        every.at(i);
        if (bytes[i] == '\n' ||
            (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')))
            ++line;
    }
    return line;
}

// "line 3: byte 0xA0 is not ...", "line 2: bytes 0xA9 0xA1 are not ...", or, with no bytes,
// "line 4 holds bytes that are not ...": the words the file reader uses.
std::string badBytesReason(std::size_t line, std::initializer_list<std::uint8_t> bytes)
{
    std::string reason = "line " + std::to_string(line);
    if (bytes.size() == 0)
        return reason + " holds bytes that are not characters of UTF-8, JIS, EUC-JP or Shift_JIS";
    reason += bytes.size() > 1 ? ": bytes" : ": byte";
    for (const std::uint8_t b : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, " 0x%02X", b);
        reason += hex;
    }
    return reason + (bytes.size() > 1 ? " are" : " is") +
           " not a character of UTF-8, JIS, EUC-JP or Shift_JIS";
}

bool isCp932Byte(std::uint8_t b) { return b < 0x80 || engine::cp932Char(b); }

// What one pass over the raw input finds: the byte values it holds, and, where it reads as
// UTF-8 with faults rather than as a Japanese code (a byte-order mark, or at least as many
// valid multi-byte sequences as invalid ones), its first invalid sequence.
struct ByteScan
{
    ByteSet held{};
    std::optional<std::size_t> brokenUtf8;
};

ByteScan scanBytes(std::string_view input, const Consumed& consumed)
{
    ByteScan scan;
    const std::uint8_t* s = bytesOf(input);
    const std::size_t n = input.size();
    std::size_t multiByte = 0, invalid = 0;
    std::optional<std::size_t> first;
    Every every(consumed);
    for (std::size_t i = 0; i < n;) {
        every.at(i);
        scan.held[s[i]] = true;
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = io::utf8SequenceLength(s + i, n - i);
        if (length == 0) {
            first = first ? first : i;
            ++invalid;
            ++i;
            continue;
        }
        for (std::size_t k = 1; k < length; ++k)
            scan.held[s[i + k]] = true;
        ++multiByte;
        i += length;
    }
    if (first && (input.substr(0, 3) == kByteOrderMark || (multiByte > 0 && multiByte >= invalid)))
        scan.brokenUtf8 = first;
    return scan;
}

// The first character of Shift_JIS input that decodes to nothing once SjisToSjis has rejoined
// characters split by other bytes, named by the input's own bytes and line.
std::optional<std::string> shiftJisFault(std::string_view input, const Consumed& consumed)
{
    const std::uint8_t* s = bytesOf(input);
    const std::size_t n = input.size();
    const auto at = [&](std::size_t i, std::initializer_list<std::uint8_t> bytes) {
        return badBytesReason(lineOfOffset(input, i, consumed), bytes);
    };
    Every every(consumed);
    for (std::size_t i = 0; i < n;) {
        every.at(i);
        const std::uint8_t b = s[i];
        if (b < 0x80 || (b >= 0xA0 && b <= 0xDF)) {
            if (!isCp932Byte(b))
                return at(i, {b});
            ++i;
            continue;
        }
        // A lead byte waits for its trail; the bytes in between are written first.
        std::size_t j = i + 1;
        for (; j < n && !io::jiscodes::isSjisTrail(s[j]); ++j) {
            if (!isCp932Byte(s[j]))
                return at(j, {s[j]});
        }
        if (j == n)
            return std::nullopt; // a lead byte left at the end is dropped
        if (!engine::isLeadByte(b))
            return at(i, {b});
        if (!engine::cp932Char(static_cast<std::uint16_t>(b << 8 | s[j])))
            return at(i, {b, s[j]});
        i = j + 1;
    }
    return std::nullopt;
}

// The damage in the converters' Shift_JIS of JIS or EUC-JP input, read in parts of whole
// characters: the first character that decodes to nothing (loose) and the first that also
// lies outside the rows of JIS X 0208 or, from JIS, is an ESC the reading did not take
// (strict). Each is named by the bytes the input holds for it, the Shift_JIS arithmetic undone;
// where damage made bytes of its own, only by the line, never by a byte the input lacks.
class DamageScan
{
public:
    DamageScan(bool euc, const ByteSet& held)
        : m_euc(euc)
        , m_held(held)
    {
    }

    void read(std::string_view bytes)
    {
        const std::uint8_t* s = bytesOf(bytes);
        const std::size_t n = bytes.size();
        for (std::size_t i = 0; i < n && !loose;) {
            const std::uint8_t b = s[i];
            if (engine::isLeadByte(b) && i + 1 < n) {
                const std::uint8_t t = s[i + 1];
                const auto character = engine::cp932Char(static_cast<std::uint16_t>(b << 8 | t));
                if (!character || !io::fitsJisRows(engine::cp932Code(*character).value_or(0xFFFF)))
                    found(!character, pairReason(b, t));
                i += 2;
                continue;
            }
            if (!isCp932Byte(b) || (!m_euc && b == io::kEsc)) {
                // JIS reading raises the bytes of a katakana run by 0x80.
                const bool katakana = !m_euc && b >= 0xA0 && b <= 0xDF && m_held[b - 0x80];
                const auto own = static_cast<std::uint8_t>(katakana ? b - 0x80 : b);
                found(!isCp932Byte(b),
                      m_held[own] ? badBytesReason(m_line, {own}) : badBytesReason(m_line, {}));
            }
            // The converters end every line with CR LF, so no line feed is ever read as a trail
            // byte: the line feeds read here count the lines.
            if (b == '\n')
                ++m_line;
            ++i;
        }
    }

    std::optional<std::string> loose;
    std::optional<std::string> strict;

private:
    void found(bool isLoose, std::string reason)
    {
        if (isLoose)
            loose = reason;
        if (!strict)
            strict = std::move(reason);
    }

    std::string pairReason(std::uint8_t lead, std::uint8_t trail) const
    {
        const auto [row, cell] = io::jiscodes::sjisToJisPair(lead, trail);
        const int high = m_euc ? 0x80 : 0;
        const auto first = static_cast<std::uint8_t>((row | high) & 0xFF);
        const auto second = static_cast<std::uint8_t>((cell | high) & 0xFF);
        if (m_held[first] && m_held[second])
            return badBytesReason(m_line, {first, second});
        return badBytesReason(m_line, {});
    }

    bool m_euc;
    const ByteSet& m_held;
    std::size_t m_line = 1;
};

// The converters' Shift_JIS in the pieces a file read whole is worked in (each up to the first
// CR LF a piece's length on), each decoded, worked and checked for forms in the output code,
// keeping nothing but the piece, up to the first refusal.
class WholePieces
{
public:
    WholePieces(const Task& o, const std::optional<std::string>& fault)
        : m_options(o)
        , m_fault(fault)
    {
        engine::beginReflow(m_state);
    }

    void read(std::string_view bytes, bool last)
    {
        if (refused)
            return;
        m_pending.append(bytes);
        for (;;) {
            std::size_t end = pieceEnd();
            // A piece ends at the end only when nothing follows: the last piece is worked so.
            const bool whole = end == m_pending.size();
            if (whole && !last)
                return;
            work(std::string_view(m_pending).substr(0, end), whole);
            m_pending.erase(0, end);
            if (whole || refused)
                return;
        }
    }

    std::optional<RunResult> refused;

private:
    std::size_t pieceEnd() const
    {
        for (std::size_t at = m_pending.find('\r', kPieceBytes); at != std::string::npos;
             at = m_pending.find('\r', at + 1)) {
            if (at + 1 < m_pending.size() && m_pending[at + 1] == '\n')
                return at + 2;
        }
        return m_pending.size();
    }

    void work(std::string_view piece, bool last)
    {
        std::size_t badAt = 0;
        const std::optional<std::u16string> text = engine::fromCp932(piece, &badAt);
        if (!text) {
            refused = refusal(
                m_options, m_fault ? *m_fault
                                   : badBytesReason(m_linesBefore + lineOfOffset(piece, badAt, {}),
                                                    {bytesOf(piece)[badAt]}));
            return;
        }
        m_lines.clear();
        runLines(m_options, m_state, *text, last, m_resumed, m_lines);
        m_resumed = true;
        if (last && m_options.command == Command::Align)
            engine::endReflow(m_options.settings, m_state, m_lines);
        if (!allHaveForms(m_lines, outputCodeOf(m_options))) {
            refused = noFormRefusal(m_options, *text, m_lines, m_linesBefore);
            return;
        }
        m_linesBefore += countLineEnds(*text);
    }

    const Task& m_options;
    const std::optional<std::string>& m_fault;
    engine::ReflowState m_state;
    std::string m_pending;
    std::u16string m_lines;
    std::size_t m_linesBefore = 0;
    bool m_resumed = false;
};

} // namespace

std::optional<RunResult> refusalOf(const Task& o, std::string_view input,
                                   const io::CodeDetection& code, const Consumed& consumed)
{
    // The bad bytes named as the input has them, before converting rewrites them: as broken
    // UTF-8 where the input reads so, else, for Shift_JIS, in its own code.
    const ByteScan scan = scanBytes(input, consumed);
    const bool shiftJis = code.family == io::CodeFamily::Sjis;
    std::optional<std::string> fault;
    if (scan.brokenUtf8) {
        const std::size_t at = *scan.brokenUtf8;
        fault = badBytesReason(lineOfOffset(input, at, consumed), {bytesOf(input)[at]});
    } else if (shiftJis) {
        fault = shiftJisFault(input, consumed);
    }

    DamageScan damage(code.family == io::CodeFamily::Euc, scan.held);
    WholePieces pieces(o, fault);
    io::CodeConvertStream stream(code, io::kTargetSjis);
    WholeCharacters characters;
    // Damage anywhere is named before a character without a form earlier on, so the pass goes
    // on to the end for JIS and EUC-JP.
    for (std::size_t from = 0; from < input.size() || from == 0;) {
        const std::size_t to = std::min(input.size(), from + kPieceBytes);
        const bool last = to == input.size();
        const std::string_view bytes =
            characters.take(stream.convert(input.substr(from, to - from), last), last);
        if (!shiftJis)
            damage.read(bytes);
        pieces.read(bytes, last);
        if (consumed)
            consumed(to);
        if (last || damage.loose || (shiftJis && pieces.refused))
            break;
        from = to;
    }
    if (const std::optional<std::string>& named = damage.loose ? damage.loose : damage.strict)
        return refusal(o, fault ? *fault : *named);
    return pieces.refused;
}

} // namespace kestrova::stream
