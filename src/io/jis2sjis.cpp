#include "io/jis2sjis.h"

#include "io/jiscodes.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

namespace kestrova::io {
namespace {

using namespace jiscodes;

// The readings of the input the detection scan can settle on, numbered by the flag that decides.
enum class CodeKind
{
    SJIS = 0,
    JIS = 2,
    JIS2 = 4,
    EUC = 128,
    JIS3 = 256,
};

// Flag word bits of CodeCheck.
constexpr int kPrintable = 1;
constexpr int kJisDesignation = 2;
constexpr int kJisReturnToAscii = 4;
constexpr int kLineControl = 8;
constexpr int kKanaOrEucRow = 16;
constexpr int kSjisPair = 32;
constexpr int kEucSecondKana = 64;
constexpr int kEucPair = 128;
constexpr int kShiftOut = 256;

// The writers' reading of the character whose lead byte is at i; returns the bytes consumed.
// Whatever is no JIS X 0208 character (a stray lead byte, user-defined and extension rows)
// becomes the geta mark so the output is always well-formed. A byte that cannot be a trail is
// left to the caller: the line end or letter after a stray lead byte survives.
std::size_t readKanji(const std::uint8_t* in, std::size_t i, std::size_t n, JisPair& pair)
{
    pair = kGeta;
    if (i + 1 == n) {
        return 1;
    }
    const std::uint8_t trail = in[i + 1];
    const int cell = kCellOfTrail[trail];
    if (cell == 0) {
        return 1;
    }
    const int row = kRowOfLead[in[i]];
    if (row != 0) {
        pair = {row + (trail >= 0x9F ? 1 : 0), cell};
    }
    return 2;
}

// Output written through a pointer. The storage is reserved once; the buffer's size is only
// moved ahead of the writer in 1024-byte steps, so nothing is zeroed long before it is written
// and the pages of a reservation that is never filled are never touched.
class OutputArea
{
public:
    static constexpr std::size_t kStep = 1024;
    static constexpr std::size_t kRoom = 256; // more than any single step of a writer needs

    // The extra reservation covers the steps' overshoot: an output within capacity never moves.
    explicit OutputArea(std::size_t capacity)
    {
        m_bytes.reserve(capacity + kStep + kRoom);
        m_bytes.resize(kStep);
    }

    std::uint8_t* begin() { return m_bytes.data(); }

    // Starts the output with bytes that need no conversion.
    std::uint8_t* beginWith(const std::uint8_t* bytes, std::size_t count)
    {
        m_bytes.assign(bytes, bytes + count);
        m_bytes.resize(count + kStep);
        return m_bytes.data() + count;
    }

    std::uint8_t* makeRoom(std::uint8_t* out)
    {
        const std::size_t used = static_cast<std::size_t>(out - m_bytes.data());
        if (m_bytes.size() - used >= kRoom) {
            return out;
        }
        m_bytes.resize(m_bytes.size() + kStep);
        return m_bytes.data() + used;
    }

    void finish(std::uint8_t* out, ByteBuffer& buffer)
    {
        m_bytes.resize(static_cast<std::size_t>(out - m_bytes.data()));
        buffer.swap(m_bytes);
    }

private:
    ByteBuffer m_bytes;
};

// CodeCheck's flag word is the fixed value of its first byte, if it has one, or the pair bits
// that both bytes allow; ESC alone needs the bytes after it. Kept branch-free for the scan.
constexpr int kFlagsFromEscape = 0x1000;
constexpr auto kFixedFlags = [] {
    std::array<int, 256> flags{};
    for (int b = 0; b <= 0xFF; ++b) {
        int f = 0;
        if (b >= 0x20 && b <= 0x7E) {
            f = kPrintable;
        } else if (b == kEsc) {
            f = kFlagsFromEscape;
        } else if (b == kSo) {
            f = kShiftOut;
        } else if (b == kSi) {
            f = kJisDesignation;
        } else if (b == 0x09 || b == kLf || b == 0x0C || b == kCr || b == kEndOfFile) {
            f = kLineControl;
        }
        flags[static_cast<std::size_t>(b)] = f;
    }
    return flags;
}();

constexpr auto kFirstByteBits = [] {
    std::array<int, 256> bits{};
    for (int b = 0; b <= 0xFF; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        int f = 0;
        if (kFixedFlags[static_cast<std::size_t>(b)] == 0) {
            f |= isHalfWidthKana(byte) ? kKanaOrEucRow : 0;
            f |= (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? kSjisPair : 0;
            f |= b >= 0x8E ? kEucSecondKana : 0;
            f |= b >= 0xA1 && b <= 0xFE ? kEucPair : 0;
        }
        bits[static_cast<std::size_t>(b)] = f;
    }
    return bits;
}();

constexpr auto kSecondByteBits = [] {
    std::array<int, 256> bits{};
    for (int b = 0; b <= 0xFF; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        int f = kKanaOrEucRow;
        f |= isSjisTrail(byte) ? kSjisPair : 0;
        f |= isHalfWidthKana(byte) ? kEucSecondKana : 0;
        f |= b >= 0xA1 && b <= 0xFE ? kEucPair : 0;
        bits[static_cast<std::size_t>(b)] = f;
    }
    return bits;
}();

// kSjisPair as the bits each byte allows, to take the scan's step from the bytes themselves.
constexpr auto kScanPairLead = [] {
    ByteTable bits{};
    for (int b = 0; b <= 0xFF; ++b) {
        bits[static_cast<std::size_t>(b)] =
            (kFirstByteBits[static_cast<std::size_t>(b)] & kSjisPair) != 0;
    }
    return bits;
}();

constexpr auto kScanPairTrail = [] {
    ByteTable bits{};
    for (int b = 0; b <= 0xFF; ++b) {
        bits[static_cast<std::size_t>(b)] =
            (kSecondByteBits[static_cast<std::size_t>(b)] & kSjisPair) != 0;
    }
    return bits;
}();

// The scan's rules at position i for its flag word f: true when they decide the kind, else
// they move i on.
bool decideAt(const std::uint8_t* b, std::size_t n, int f, std::size_t& i, CodeKind& kind)
{
    if (f == kPrintable || f == kLineControl) {
        ++i;
    } else if (f == kJisDesignation) {
        kind = CodeKind::JIS;
        return true;
    } else if (f == kJisReturnToAscii) {
        kind = CodeKind::JIS2;
        return true;
    } else if (f == kShiftOut) {
        kind = CodeKind::JIS3;
        return true;
    } else if ((f & kKanaOrEucRow) != 0) {
        // Half-width katakana reads like an EUC row byte: only a pair that no katakana run
        // could make counts as EUC.
        if ((f & kEucPair) != 0 && i + 5 <= n) {
            const int f2 = CodeCheck(b[i + 1], b[i + 2], b[i + 3]);
            if ((f2 & kKanaOrEucRow) != 0) {
                i += 2;
                return false;
            }
            const int f3 = CodeCheck(b[i + 2], b[i + 3], b[i + 4]);
            if (f3 > 0 && f2 != kPrintable && f2 != kLineControl) {
                kind = CodeKind::EUC;
                return true;
            }
        }
        ++i;
    } else if ((f & kSjisPair) != 0) {
        i += 2;
    } else if ((f & (kEucSecondKana | kEucPair)) != 0) {
        kind = CodeKind::EUC;
        return true;
    } else {
        ++i;
    }
    return false;
}

// passed (when set) hears every so many bytes how far the scan has come.
CodeKind detectKind(const std::uint8_t* b, std::size_t n, const ScanProgress& passed = {})
{
    constexpr std::size_t kReportEvery = 1 << 20;
    CodeKind kind = CodeKind::SJIS;
    std::size_t i = 0;
    std::size_t report = passed ? kReportEvery : SIZE_MAX;
    // The positions that decide nothing are passed without their flag word: a byte below 0x80
    // other than ESC, SO and SI moves on by one (its flag is 0, 1 or 8), and a Shift_JIS lead
    // byte outside 0xA0-0xDF with a valid trail moves on by two (its flag has bit 32 and not
    // bit 16). Only the other positions take the scan's rules.
    while (i + 3 <= n) {
        if (i >= report) {
            passed(i);
            report = i + kReportEvery;
        }
        const std::uint8_t c = b[i];
        if (c < 0x80) {
            if (c != kEsc && c != kSo && c != kSi) {
                ++i;
                continue;
            }
        } else if (kScanPairLead[c] & kScanPairTrail[b[i + 1]]) {
            i += 2;
            continue;
        }
        if (decideAt(b, n, CodeCheck(c, b[i + 1], b[i + 2]), i, kind)) {
            return kind;
        }
    }
    return CodeKind::SJIS;
}

CodeFamily codeFamily(CodeKind kind)
{
    switch (kind) {
    case CodeKind::SJIS:
        return CodeFamily::Sjis;
    case CodeKind::EUC:
        return CodeFamily::Euc;
    default:
        return CodeFamily::Jis;
    }
}

} // namespace

CodeDetection detectCode(const std::uint8_t* bytes, std::size_t n, const ScanProgress& passed)
{
    const CodeKind kind = detectKind(bytes, n, passed);
    return {codeFamily(kind),
            kind == CodeKind::JIS2   ? kKanjiState
            : kind == CodeKind::JIS3 ? kKanaState
                                     : kAsciiState,
            kind == CodeKind::JIS};
}

int CodeCheck(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
{
    const int f = kFixedFlags[b0] | (kFirstByteBits[b0] & kSecondByteBits[b1]);
    if (f != kFlagsFromEscape) {
        return f;
    }
    switch (jisDesignation(b1, b2)) {
    case -1:
        return 0;
    case kAsciiState:
        return kJisReturnToAscii;
    default:
        return kJisDesignation;
    }
}

int CodeConvert(ByteBuffer& buffer, int target)
{
    if (buffer.empty()) {
        return 0;
    }
    return CodeConvertAs(buffer, target, detectCode(buffer.data(), buffer.size()));
}

int CodeConvertAs(ByteBuffer& buffer, int target, CodeDetection code)
{
    if (buffer.empty()) {
        return 0;
    }
    switch (code.family) {
    case CodeFamily::Jis:
        if (target < kTargetSjis || target > kTargetEuc ||
            (code.jisDesignated && target == kTargetJis)) {
            break; // a text that opens with its own designation is already JIS as we write it
        }
        JisToSjis(buffer, code.jisStart);
        if (target == kTargetJis) {
            SjisToJis(buffer);
        } else if (target == kTargetEuc) {
            SjisToEuc(buffer);
        }
        break;
    case CodeFamily::Euc:
        if (target == kTargetSjis || target == kTargetJis) {
            EucToSjis(buffer);
            if (target == kTargetJis) {
                SjisToJis(buffer);
            }
        }
        break;
    case CodeFamily::Sjis:
        if (target == kTargetSjis) {
            SjisToSjis(buffer);
        } else if (target == kTargetJis) {
            SjisToJis(buffer);
        } else if (target == kTargetEuc) {
            SjisToEuc(buffer);
        }
        break;
    }
    const int result = 4 * CrLfConvert(buffer) + static_cast<int>(code.family);
    if (!buffer.empty() && buffer.back() == kEndOfFile) {
        buffer.pop_back();
    }
    return result;
}

void SjisToJis(ByteBuffer& buffer)
{
    const std::size_t n = buffer.size();
    if (n == 0) {
        return;
    }
    const std::uint8_t* in = buffer.data();
    OutputArea jis(3 * n + 1024);
    std::uint8_t* out = jis.begin();
    int state = kAsciiState;
    for (std::size_t i = 0; i < n;) {
        out = jis.makeRoom(out);
        const std::uint8_t d = in[i];
        if (d < 0x80) {
            if (state != kAsciiState) {
                out = putEscape(out, '(', 'B');
                state = kAsciiState;
            }
            *out++ = d;
            ++i;
        } else if (isHalfWidthKana(d)) {
            if (state != kKanaState) {
                out = putEscape(out, '(', 'I');
                state = kKanaState;
            }
            // 0xA0 is no katakana in Shift_JIS, but its image 0x20 is still inside the
            // katakana set's 0x20-0x5F, so the run stays well-formed.
            *out++ = static_cast<std::uint8_t>(d - 0x80);
            ++i;
        } else {
            if (state != kKanjiState) {
                out = putEscape(out, '$', 'B');
                state = kKanjiState;
            }
            JisPair pair{};
            i += readKanji(in, i, n, pair);
            out[0] = static_cast<std::uint8_t>(pair.row);
            out[1] = static_cast<std::uint8_t>(pair.cell);
            out += 2;
        }
    }
    if (state != kAsciiState) {
        out = putEscape(jis.makeRoom(out), '(', 'B');
    }
    jis.finish(out, buffer);
}

void SjisToEuc(ByteBuffer& buffer)
{
    const std::size_t n = buffer.size();
    if (n == 0) {
        return;
    }
    const std::uint8_t* in = buffer.data();
    OutputArea euc(2 * n); // every byte writes at most two, the geta mark included
    std::uint8_t* out = euc.begin();
    for (std::size_t i = 0; i < n;) {
        out = euc.makeRoom(out);
        const std::uint8_t d = in[i];
        if (d < 0x80) {
            *out++ = d;
            ++i;
        } else if (isHalfWidthKana(d)) {
            out[0] = kSs2;
            out[1] = d;
            out += 2;
            ++i;
        } else {
            JisPair pair{};
            i += readKanji(in, i, n, pair);
            out[0] = static_cast<std::uint8_t>(pair.row | 0x80);
            out[1] = static_cast<std::uint8_t>(pair.cell | 0x80);
            out += 2;
        }
    }
    euc.finish(out, buffer);
}

// The three readers never write more bytes than they have read, and never ahead of the byte
// they read, so they convert in place and only shorten the buffer.

void SjisToSjis(ByteBuffer& buffer)
{
    const std::size_t n = buffer.size();
    std::uint8_t* b = buffer.data();
    std::size_t i = 0;
    // Nothing is written while the text is well-formed, usually to its end.
    while (i + 1 < n) {
        const std::uint8_t c = b[i];
        const bool lead = c >= 0x80 && !isHalfWidthKana(c);
        if (lead && !isSjisTrail(b[i + 1])) {
            break;
        }
        i += lead ? 2 : 1;
    }
    std::size_t out = i;
    while (i < n) {
        const std::uint8_t c = b[i];
        const bool lead = c >= 0x80 && !isHalfWidthKana(c);
        if (i + 1 < n && (!lead || isSjisTrail(b[i + 1]))) {
            // The usual case, a one-byte character or a whole pair, without a branch on which:
            // the second byte written for a one-byte character is overwritten next.
            const std::size_t width = lead ? 2 : 1;
            b[out] = c;
            b[out + 1] = b[i + 1];
            out += width;
            i += width;
            continue;
        }
        if (!lead) {
            b[out++] = c; // the last byte
            break;
        }
        // Bytes between a lead byte and its trail (a line break put inside the character)
        // go out first, so the character comes out whole after them.
        std::size_t k = i + 1;
        while (k < n && !isSjisTrail(b[k])) {
            b[out++] = b[k++];
        }
        if (k == n) {
            break; // a lead byte without a trail is dropped
        }
        const std::uint8_t trail = b[k];
        b[out++] = c;
        b[out++] = trail;
        i = k + 1;
    }
    buffer.resize(out);
}

void JisToSjis(ByteBuffer& buffer, int startState)
{
    const std::size_t n = buffer.size();
    std::uint8_t* b = buffer.data();
    std::size_t out = 0;
    int state = startState;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = b[i];
        if (c == kSo) {
            state = kKanaState;
            continue;
        }
        if (c == kSi) {
            state = kAsciiState;
            continue;
        }
        if (c == kEsc && i + 2 < n) {
            // Bytes inside a broken escape sequence are kept; only the ESC goes.
            while (i + 2 < n) {
                ++i;
                if (b[i] == '$') {
                    state = kKanjiState;
                    while (i + 1 < n) {
                        ++i;
                        if (b[i] == '@' || b[i] == 'B') {
                            break;
                        }
                        b[out++] = b[i];
                    }
                    break;
                }
                if (b[i] == '(') {
                    state = kAsciiState;
                    while (i + 1 < n) {
                        ++i;
                        if (b[i] == 'B' || b[i] == 'J') {
                            break;
                        }
                        if (b[i] == 'I') {
                            state = kKanaState;
                            break;
                        }
                        b[out++] = b[i];
                    }
                    break;
                }
                b[out++] = b[i];
            }
            continue;
        }
        if (state == kKanjiState) {
            if (c < 0x21 || i + 1 == n) {
                b[out++] = c;
                continue;
            }
            // A line break inside a character goes out in front of it.
            std::size_t k = i + 1;
            while (k < n && b[k] < 0x21) {
                b[out++] = b[k++];
            }
            if (k == n) {
                break; // the row byte never got its cell
            }
            const std::uint8_t cell = b[k];
            putSjisPair(b + out, c, cell);
            out += 2;
            i = k;
        } else if (state == kKanaState && c >= 0x20 && c <= 0x5F) {
            b[out++] = static_cast<std::uint8_t>(c + 0x80);
        } else {
            b[out++] = c;
        }
    }
    buffer.resize(out);
}

void EucToSjis(ByteBuffer& buffer)
{
    const std::size_t n = buffer.size();
    std::uint8_t* b = buffer.data();
    std::size_t out = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = b[i];
        if (c < 0x80 || i + 1 == n) {
            b[out++] = c;
            continue;
        }
        std::size_t k = i + 1;
        while (k < n && b[k] < 0x80) {
            b[out++] = b[k++];
        }
        if (k == n) {
            break; // an SS2 keeps what followed it; a row byte without its cell is dropped
        }
        if (c == kSs2) {
            b[out++] = b[k];
        } else {
            const std::uint8_t cell = b[k];
            putSjisPair(b + out, c & 0x7F, cell & 0x7F);
            out += 2;
        }
        i = k;
    }
    buffer.resize(out);
}

int CrLfConvert(ByteBuffer& buffer)
{
    const std::size_t n = buffer.size();
    const std::uint8_t* in = buffer.data();
    // Text whose lines already end in CR LF stays where it is. Found line by line with memchr:
    // each LF must follow a CR, and no other CR may stand in the line.
    std::size_t i = 0;
    while (i < n) {
        const auto* lf = static_cast<const std::uint8_t*>(std::memchr(in + i, kLf, n - i));
        const std::size_t end = lf != nullptr ? static_cast<std::size_t>(lf - in) : n;
        const std::size_t body = (lf != nullptr && end > i && in[end - 1] == kCr) ? end - 1 : end;
        const void* cr = std::memchr(in + i, kCr, body - i);
        if (cr != nullptr) {
            i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(cr) - in);
            break;
        }
        if (lf == nullptr) {
            i = n;
            break;
        }
        if (body == end) {
            i = end; // an LF without its CR
            break;
        }
        i = end + 1;
    }
    if (i >= n) {
        return 0;
    }
    OutputArea crLf(i + 2 * (n - i));
    std::uint8_t* out = crLf.beginWith(in, i);
    LineEndKind kind = LineEndKind::CrLf;
    while (i < n) {
        out = crLf.makeRoom(out);
        const std::uint8_t c = in[i];
        if (c != kCr && c != kLf) {
            *out++ = c;
            ++i;
            continue;
        }
        passLineEnd(in, i, n, kind);
        out[0] = kCr;
        out[1] = kLf;
        out += 2;
    }
    crLf.finish(out, buffer);
    return static_cast<int>(kind);
}

} // namespace kestrova::io
