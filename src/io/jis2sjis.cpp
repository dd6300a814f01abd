#include "io/jis2sjis.h"

#include "io/codestream.h"
#include "io/jiscodes.h"

#include <array>
#include <cstddef>
#include <cstdint>

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

using Reader = CodeConvertStream::Reader;
using Writer = CodeConvertStream::Writer;

CodeConvertStream convertWith(CodeConvertStream::Chain chain, ByteBuffer& buffer)
{
    CodeConvertStream stream(chain);
    stream.convertWhole(buffer);
    return stream;
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
    CodeConvertStream stream(code, target);
    stream.convertWhole(buffer);
    return stream.resultWord();
}

// Each converter alone is the automaton with only its own link of CodeConvert's chain.

void SjisToJis(ByteBuffer& buffer) { convertWith({.writer = Writer::Jis}, buffer); }

void SjisToEuc(ByteBuffer& buffer) { convertWith({.writer = Writer::Euc}, buffer); }

void SjisToSjis(ByteBuffer& buffer) { convertWith({.reader = Reader::Sjis}, buffer); }

void JisToSjis(ByteBuffer& buffer, int startState)
{
    convertWith({.reader = Reader::Jis, .jisStart = startState}, buffer);
}

void EucToSjis(ByteBuffer& buffer) { convertWith({.reader = Reader::Euc}, buffer); }

int CrLfConvert(ByteBuffer& buffer)
{
    return static_cast<int>(convertWith({.crLf = true}, buffer).lineEnds());
}

} // namespace kestrova::io
