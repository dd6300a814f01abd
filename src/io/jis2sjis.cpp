#include "io/jis2sjis.h"

#include <algorithm>
#include <cstddef>

namespace kestrova::io {
namespace {

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

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kSo = 0x0E;
constexpr std::uint8_t kSi = 0x0F;
constexpr std::uint8_t kSs2 = 0x8E;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kEndOfFile = 0x1A;

enum JisState
{
    kAsciiState = 0,
    kKanjiState = 1,
    kKanaState = 2,
};

struct JisPair
{
    int row;
    int cell;
};

constexpr JisPair kGeta{0x22, 0x2E};  // 〓, stands in for what JIS X 0208 cannot hold

constexpr bool isHalfWidthKana(std::uint8_t b)
{
    return b >= 0xA0 && b <= 0xDF;
}

constexpr bool isSjisTrail(std::uint8_t b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

constexpr bool isJisByte(int b)
{
    return b >= 0x21 && b <= 0x7E;
}

constexpr JisPair sjisToJisPair(int lead, int trail)
{
    int row = 2 * (lead - (lead < 0xA0 ? 113 : 177)) + 1;
    int cell = trail - 126;
    if (trail < 0x80) {
        cell = trail - 31;
    } else if (trail < 0x9F) {
        cell = trail - 32;
    } else {
        ++row;
    }
    return {row, cell};
}

// The writers' reading of the character whose lead byte is at i; returns the bytes consumed.
// Whatever is no JIS X 0208 character (a stray lead byte, user-defined and extension rows)
// becomes the geta mark so the output is always well-formed. A byte that cannot be a trail is
// left to the caller: the line end or letter after a stray lead byte survives.
std::size_t readKanji(const std::uint8_t* in, std::size_t i, std::size_t n, JisPair& pair)
{
    if (i + 1 < n && isSjisTrail(in[i + 1])) {
        pair = sjisToJisPair(in[i], in[i + 1]);
        if (!isJisByte(pair.row) || !isJisByte(pair.cell)) {
            pair = kGeta;
        }
        return 2;
    }
    pair = kGeta;
    return 1;
}

// A step of the JIS to Shift_JIS arithmetic that would leave the byte range is skipped, so the
// value keeps what it had; malformed kanji runs still convert to some pair.
constexpr void addWithinByte(int& value, int delta)
{
    if (value + delta >= 0 && value + delta <= 0xFF) {
        value += delta;
    }
}

// Writes the Shift_JIS pair of JIS row j1 and cell j2 at out; returns the position after it.
std::uint8_t* putSjisPair(std::uint8_t* out, int j1, int j2)
{
    int s2 = j2;
    addWithinByte(s2, (j1 & 1) != 0 ? 0x1F : 0x7D);
    if (s2 >= 0x7F) {
        addWithinByte(s2, 1);
    }
    int s1 = j1;
    addWithinByte(s1, -0x21);
    s1 /= 2;
    addWithinByte(s1, 0x81);
    if (s1 > 0x9F) {
        addWithinByte(s1, 0x40);
    }
    out[0] = static_cast<std::uint8_t>(s1);
    out[1] = static_cast<std::uint8_t>(s2);
    return out + 2;
}

std::uint8_t* putEscape(std::uint8_t* out, std::uint8_t intermediate, std::uint8_t final)
{
    out[0] = kEsc;
    out[1] = intermediate;
    out[2] = final;
    return out + 3;
}

CodeKind detectKind(const ByteBuffer& buffer)
{
    const std::size_t n = buffer.size();
    const std::uint8_t* b = buffer.data();
    std::size_t i = 0;
    while (i + 3 <= n) {
        const int f = CodeCheck(b[i], b[i + 1], b[i + 2]);
        if (f == kPrintable || f == kLineControl) {
            ++i;
        } else if (f == kJisDesignation) {
            return CodeKind::JIS;
        } else if (f == kJisReturnToAscii) {
            return CodeKind::JIS2;
        } else if (f == kShiftOut) {
            return CodeKind::JIS3;
        } else if ((f & kKanaOrEucRow) != 0) {
            // Half-width katakana reads like an EUC row byte: only a pair that no katakana run
            // could make counts as EUC.
            if ((f & kEucPair) != 0 && i + 5 <= n) {
                const int f2 = CodeCheck(b[i + 1], b[i + 2], b[i + 3]);
                if ((f2 & kKanaOrEucRow) != 0) {
                    i += 2;
                    continue;
                }
                const int f3 = CodeCheck(b[i + 2], b[i + 3], b[i + 4]);
                if (f3 > 0 && f2 != kPrintable && f2 != kLineControl) {
                    return CodeKind::EUC;
                }
            }
            ++i;
        } else if ((f & kSjisPair) != 0) {
            i += 2;
        } else if ((f & (kEucSecondKana | kEucPair)) != 0) {
            return CodeKind::EUC;
        } else {
            ++i;
        }
    }
    return CodeKind::SJIS;
}

int codeFamily(CodeKind kind)
{
    switch (kind) {
    case CodeKind::SJIS:
        return 0;
    case CodeKind::EUC:
        return 2;
    default:
        return 1;
    }
}

} // namespace

int CodeCheck(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
{
    if (b0 >= 0x20 && b0 <= 0x7E) {
        return kPrintable;
    }
    switch (b0) {
    case kEsc:
        if (b1 == '$' && (b2 == 'B' || b2 == '@')) {
            return kJisDesignation;
        }
        if (b1 == '(' && (b2 == 'B' || b2 == 'J')) {
            return kJisReturnToAscii;
        }
        if (b1 == '(' && b2 == 'I') {
            return kJisDesignation;
        }
        return 0;
    case kSo:
        return kShiftOut;
    case kSi:
        return kJisDesignation;
    case 0x09:
    case kLf:
    case 0x0C:
    case kCr:
    case kEndOfFile:
        return kLineControl;
    default:
        break;
    }
    int flags = 0;
    if (isHalfWidthKana(b0)) {
        flags += kKanaOrEucRow;
    }
    if (((b0 >= 0x81 && b0 <= 0x9F) || (b0 >= 0xE0 && b0 <= 0xFC)) && isSjisTrail(b1)) {
        flags += kSjisPair;
    }
    if (isHalfWidthKana(b1) && b0 >= 0x8E) {
        flags += kEucSecondKana;
    }
    if (b0 >= 0xA1 && b0 <= 0xFE && b1 >= 0xA1 && b1 <= 0xFE) {
        flags += kEucPair;
    }
    return flags;
}

int CodeConvert(ByteBuffer& buffer, int target)
{
    if (buffer.empty()) {
        return 0;
    }
    const CodeKind kind = detectKind(buffer);
    switch (kind) {
    case CodeKind::JIS:
    case CodeKind::JIS2:
    case CodeKind::JIS3:
        if (target < kTargetSjis || target > kTargetEuc ||
            (kind == CodeKind::JIS && target == kTargetJis)) {
            break;  // a text that opens with its own designation is already JIS as we write it
        }
        JisToSjis(buffer, kind == CodeKind::JIS    ? kAsciiState
                          : kind == CodeKind::JIS2 ? kKanjiState
                                                   : kKanaState);
        if (target == kTargetJis) {
            SjisToJis(buffer);
        } else if (target == kTargetEuc) {
            SjisToEuc(buffer);
        }
        break;
    case CodeKind::EUC:
        if (target == kTargetSjis || target == kTargetJis) {
            EucToSjis(buffer);
            if (target == kTargetJis) {
                SjisToJis(buffer);
            }
        }
        break;
    case CodeKind::SJIS:
        if (target == kTargetSjis) {
            SjisToSjis(buffer);
        } else if (target == kTargetJis) {
            SjisToJis(buffer);
        } else if (target == kTargetEuc) {
            SjisToEuc(buffer);
        }
        break;
    }
    const int result = 4 * CrLfConvert(buffer) + codeFamily(kind);
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
    ByteBuffer jis(3 * n + 1024);
    std::uint8_t* out = jis.data();
    std::uint8_t* limit = out + jis.size();
    int state = kAsciiState;
    for (std::size_t i = 0; i < n;) {
        // 256 bytes are far more than one step writes (an escape and a pair, or the final
        // escape); the vector's own growth keeps the 1024-byte steps from copying per step.
        if (limit - out < 256) {
            const std::size_t used = static_cast<std::size_t>(out - jis.data());
            jis.resize(jis.size() + 1024);
            out = jis.data() + used;
            limit = jis.data() + jis.size();
        }
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
        out = putEscape(out, '(', 'B');
    }
    jis.resize(static_cast<std::size_t>(out - jis.data()));
    buffer.swap(jis);
}

void SjisToEuc(ByteBuffer& buffer)
{
    const std::size_t n = buffer.size();
    if (n == 0) {
        return;
    }
    const std::uint8_t* in = buffer.data();
    ByteBuffer euc(2 * n);  // every byte writes at most two, the geta mark included
    std::uint8_t* out = euc.data();
    for (std::size_t i = 0; i < n;) {
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
    euc.resize(static_cast<std::size_t>(out - euc.data()));
    buffer.swap(euc);
}

// The three readers never write more bytes than they have read, and never ahead of the byte
// they read, so they convert in place and only shorten the buffer.

void SjisToSjis(ByteBuffer& buffer)
{
    const std::size_t n = buffer.size();
    std::uint8_t* b = buffer.data();
    std::size_t out = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = b[i];
        if (c < 0x80 || isHalfWidthKana(c)) {
            b[out++] = c;
            continue;
        }
        // Bytes between a lead byte and its trail (a line break put inside the character)
        // go out first, so the character comes out whole after them.
        std::size_t k = i + 1;
        while (k < n && !isSjisTrail(b[k])) {
            b[out++] = b[k++];
        }
        if (k == n) {
            break;  // a lead byte without a trail is dropped
        }
        const std::uint8_t trail = b[k];
        b[out++] = c;
        b[out++] = trail;
        i = k;
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
                break;  // the row byte never got its cell
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
            break;  // an SS2 keeps what followed it; a row byte without its cell is dropped
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
    // Text whose lines already end in CR LF stays where it is.
    std::size_t i = 0;
    while (i < n) {
        if (in[i] == kLf || (in[i] == kCr && (i + 1 == n || in[i + 1] != kLf))) {
            break;
        }
        i += in[i] == kCr ? 2 : 1;
    }
    if (i >= n) {
        return 0;
    }
    ByteBuffer crLf(i + 2 * (n - i));
    std::uint8_t* out = crLf.data();
    out = std::copy_n(in, i, out);
    int kind = 0;
    for (; i < n; ++i) {
        const std::uint8_t c = in[i];
        if (c == kCr) {
            if (i + 1 < n && in[i + 1] == kLf) {
                ++i;
            } else {
                kind = 1;
            }
            out[0] = kCr;
            out[1] = kLf;
            out += 2;
        } else if (c == kLf) {
            kind = 2;
            out[0] = kCr;
            out[1] = kLf;
            out += 2;
        } else {
            *out++ = c;
        }
    }
    crLf.resize(static_cast<std::size_t>(out - crLf.data()));
    buffer.swap(crLf);
    return kind;
}

} // namespace kestrova::io
