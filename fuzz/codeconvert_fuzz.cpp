// Fuzz target for the code converter: any bytes, any target. Besides not crashing, it checks
// what the converter promises about its output, and that cutting the input into pieces changes
// nothing: CodeConvert is CodeConvertStream run over the whole buffer, so the two agreeing says
// no more than that.
#include "io/codestream.h"
#include "io/jis2sjis.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using kestrova::io::ByteBuffer;

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kSo = 0x0E;
constexpr std::uint8_t kSi = 0x0F;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

// Not assert(): release builds fuzz too.
void require(bool condition, const char* promise)
{
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", promise);
        std::abort();
    }
}

bool inJisRange(std::uint8_t b) { return b >= 0x21 && b <= 0x7E; }

// ISO-2022-JP as the writer makes it: 7-bit; only ESC $ B, ESC ( I and ESC ( B, each one
// changing the mode; kanji pairs of 0x21-0x7E, katakana 0x20-0x5F; ASCII again at the end. Input
// that held ESC, SO or SI is not checked with this: the writer copies those as ASCII controls,
// and a copied ESC $ B cannot be told from one it wrote.
bool isWellFormedJis(const ByteBuffer& jis)
{
    int mode = 0; // 0 ASCII, 1 kanji, 2 katakana
    for (std::size_t i = 0; i < jis.size(); ++i) {
        const std::uint8_t b = jis[i];
        if (b >= 0x80 || b == kSo || b == kSi) {
            return false;
        }
        if (b == kEsc) {
            if (i + 2 >= jis.size()) {
                return false;
            }
            const std::uint8_t intermediate = jis[i + 1];
            const std::uint8_t final = jis[i + 2];
            int next = -1;
            if (intermediate == '$' && final == 'B') {
                next = 1;
            } else if (intermediate == '(' && final == 'I') {
                next = 2;
            } else if (intermediate == '(' && final == 'B') {
                next = 0;
            }
            if (next < 0 || next == mode) {
                return false;
            }
            mode = next;
            i += 2;
        } else if (mode == 1) {
            if (i + 1 >= jis.size() || !inJisRange(b) || !inJisRange(jis[i + 1])) {
                return false;
            }
            ++i;
        } else if (mode == 2 && (b < 0x20 || b > 0x5F)) {
            return false;
        }
    }
    return mode == 0;
}

bool isWellFormedEuc(const ByteBuffer& euc)
{
    for (std::size_t i = 0; i < euc.size(); ++i) {
        const std::uint8_t b = euc[i];
        if (b < 0x80) {
            continue;
        }
        if (i + 1 >= euc.size()) {
            return false;
        }
        const std::uint8_t second = euc[++i];
        const bool kana = b == 0x8E && second >= 0xA0 && second <= 0xDF;
        const bool pair = b >= 0xA1 && b <= 0xFE && second >= 0xA1 && second <= 0xFE;
        if (!kana && !pair) {
            return false;
        }
    }
    return true;
}

bool hasOnlyCrLfLineEnds(const ByteBuffer& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == kCr && (i + 1 == text.size() || text[i + 1] != kLf)) {
            return false;
        }
        if (text[i] == kLf && (i == 0 || text[i - 1] != kCr)) {
            return false;
        }
    }
    return true;
}

bool hasShiftControls(const ByteBuffer& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](std::uint8_t b) { return b == kEsc || b == kSo || b == kSi; });
}

void checkWriters(const ByteBuffer& sjis)
{
    ByteBuffer euc = sjis;
    kestrova::io::SjisToEuc(euc);
    require(isWellFormedEuc(euc), "SjisToEuc writes well-formed EUC-JP");

    ByteBuffer jis = sjis;
    kestrova::io::SjisToJis(jis);
    require(std::none_of(jis.begin(), jis.end(), [](std::uint8_t b) { return b >= 0x80; }),
            "SjisToJis writes 7-bit bytes");
    ByteBuffer plain = sjis;
    std::erase_if(plain, [](std::uint8_t b) { return b == kEsc || b == kSo || b == kSi; });
    kestrova::io::SjisToJis(plain);
    require(isWellFormedJis(plain), "SjisToJis writes well-formed ISO-2022-JP");
}

// Shift_JIS that every writer can hold and every reader reads back: ASCII but for the bytes
// that steer JIS, half-width katakana, and pairs in the rows of JIS X 0208.
bool isPlainShiftJis(const ByteBuffer& sjis)
{
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        const std::uint8_t b = sjis[i];
        if (b == kEsc || b == kSo || b == kSi || b == 0x80 || b >= 0xF0)
            return false;
        if (b < 0x80 || (b >= 0xA0 && b <= 0xDF))
            continue;
        if (i + 1 >= sjis.size())
            return false;
        const std::uint8_t trail = sjis[++i];
        if (trail < 0x40 || trail == 0x7F || trail > 0xFC)
            return false;
    }
    return true;
}

// The writers against the readers, which are separate code: what SjisToEuc and SjisToJis write
// of plain Shift_JIS, EucToSjis and JisToSjis read back byte for byte.
void checkRoundTrips(const ByteBuffer& sjis)
{
    if (!isPlainShiftJis(sjis))
        return;
    ByteBuffer euc = sjis;
    kestrova::io::SjisToEuc(euc);
    kestrova::io::EucToSjis(euc);
    require(euc == sjis, "EucToSjis reads back what SjisToEuc wrote");
    ByteBuffer jis = sjis;
    kestrova::io::SjisToJis(jis);
    kestrova::io::JisToSjis(jis, kestrova::io::kAsciiState);
    require(jis == sjis, "JisToSjis reads back what SjisToJis wrote");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const int target = data[0] & 3; // 3 stands for every target that converts nothing
    const ByteBuffer input(data + 1, data + size);

    ByteBuffer converted = input;
    const int result = kestrova::io::CodeConvert(converted, target);
    const int family = result & 3;
    require(result >= 0 && result <= 10 && family != 3, "result word is 4 x line end + family");
    require(hasOnlyCrLfLineEnds(converted), "CodeConvert leaves only CR LF line ends");
    if (input.empty()) {
        require(converted.empty() && result == 0, "an empty buffer stays empty");
    }
    if (target == kestrova::io::kTargetEuc && family != 2) {
        require(isWellFormedEuc(converted), "CodeConvert to EUC-JP writes well-formed EUC-JP");
    }
    // Only non-JIS input is rewritten by the JIS writer; JIS input with target JIS is kept.
    if (target == kestrova::io::kTargetJis && family != 1 && !hasShiftControls(input)) {
        require(isWellFormedJis(converted), "CodeConvert to JIS writes well-formed ISO-2022-JP");
    }

    // Cut into pieces where the input's own bytes say, the same bytes and word as in one piece.
    kestrova::io::CodeConvertStream stream(kestrova::io::detectCode(input.data(), input.size()),
                                           target);
    std::string pieces;
    const std::string_view bytes(reinterpret_cast<const char*>(input.data()), input.size());
    for (std::size_t at = 0, k = 0;; ++k) {
        const std::size_t cut = bytes.empty() || k % 5 == 4 ? 0 : 1 + input[k % input.size()] % 7;
        const std::string_view piece = bytes.substr(std::min(at, bytes.size()), cut);
        at += piece.size();
        pieces += stream.convert(piece, at >= bytes.size());
        if (at >= bytes.size())
            break;
    }
    require(pieces == std::string(converted.begin(), converted.end()),
            "cutting the input into pieces changes no byte");
    require(stream.resultWord() == result, "cutting the input into pieces changes no result word");

    // The readers only ever shorten the buffer, whatever the start state.
    ByteBuffer fromJis = input;
    kestrova::io::JisToSjis(fromJis, data[0] % 3);
    require(fromJis.size() <= input.size(), "JisToSjis never grows the buffer");
    ByteBuffer fromEuc = input;
    kestrova::io::EucToSjis(fromEuc);
    require(fromEuc.size() <= input.size(), "EucToSjis never grows the buffer");

    checkWriters(input);
    ByteBuffer sjis = input;
    kestrova::io::SjisToSjis(sjis);
    require(sjis.size() <= input.size(), "SjisToSjis never grows the buffer");
    checkWriters(sjis);
    checkRoundTrips(input);
    return 0;
}
