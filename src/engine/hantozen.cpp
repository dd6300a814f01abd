#include "engine/hantozen.h"

#include "engine/cp932.h"

#include <array>
#include <stdexcept>

namespace kestrova::engine {
namespace {

constexpr std::u16string_view kZenTable =
    u"　。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒ"
    u"フヘホマミムメモヤユヨラリルレロワン゛゜";
constexpr std::u16string_view kDakuFrom = u"ｳｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾊﾋﾌﾍﾎ";
constexpr std::u16string_view kDakuTo = u"ヴガギグゲゴザジズゼゾダヂヅデドバビブベボ";
constexpr std::u16string_view kHandakuFrom = u"ﾊﾋﾌﾍﾎ";
constexpr std::u16string_view kHandakuTo = u"パピプペポ";
static_assert(kZenTable.size() == 64 && kDakuFrom.size() == 21 && kDakuTo.size() == 21);

constexpr std::uint8_t kVoicedMark = 0xDE;
constexpr std::uint8_t kSemiVoicedMark = 0xDF;

struct KanaTables
{
    std::string zen;      // two bytes for each code 0xA0-0xDF
    std::string dakuFrom; // one byte each
    std::string dakuTo;   // two bytes each
    std::string handakuFrom;
    std::string handakuTo;
};

std::string bytesOf(std::u16string_view text)
{
    auto bytes = toCp932(text);
    if (!bytes)
        throw std::runtime_error("kana table without a code page 932 form");
    return *bytes;
}

const KanaTables& kanaTables()
{
    static const KanaTables tables{bytesOf(kZenTable), bytesOf(kDakuFrom), bytesOf(kDakuTo),
                                   bytesOf(kHandakuFrom), bytesOf(kHandakuTo)};
    return tables;
}

// Appends the widened form of the half-width kana b, merged with next when that is a mark
// with a merged form; returns how many input bytes it took (1 or 2).
int widenOne(std::uint8_t b, int next, std::string& out)
{
    const KanaTables& t = kanaTables();
    const auto merged = [&](const std::string& from, const std::string& to) {
        const std::size_t k = from.find(static_cast<char>(b));
        if (k == std::string::npos)
            return false;
        out.append(to, 2 * k, 2);
        return true;
    };
    if (next == kVoicedMark && merged(t.dakuFrom, t.dakuTo))
        return 2;
    if (next == kSemiVoicedMark && merged(t.handakuFrom, t.handakuTo))
        return 2;
    out.append(t.zen, 2 * static_cast<std::size_t>(b - 0xA0), 2);
    return 1;
}

} // namespace

void HanToZenBytes(std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        if (b >= 0xA0 && b <= 0xDF) {
            const int next = i + 1 < bytes.size() ? static_cast<std::uint8_t>(bytes[i + 1]) : -1;
            i += static_cast<std::size_t>(widenOne(b, next, out));
        } else if (isLeadByte(b) && i + 1 < bytes.size()) {
            out.append(bytes, i, 2);
            i += 2;
        } else {
            // A lead byte at the very end is copied alone; it has no partner to take.
            out.push_back(static_cast<char>(b));
            ++i;
        }
    }
    bytes = std::move(out);
}

std::u16string widenKana(std::u16string_view text)
{
    constexpr char32_t kFirstKana = 0xFF61; // code page 932 byte 0xA1
    constexpr char32_t kLastKana = 0xFF9F;  // byte 0xDF
    std::u16string out;
    out.reserve(text.size());
    std::string wide;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = nextCodePoint(text, i);
        if (cp < kFirstKana || cp > kLastKana) {
            appendCodePoint(out, cp);
            continue;
        }
        const auto b = static_cast<std::uint8_t>(cp - kFirstKana + 0xA1);
        int next = -1;
        if (i < text.size() && text[i] >= kFirstKana && text[i] <= kLastKana)
            next = static_cast<int>(text[i] - kFirstKana + 0xA1);
        wide.clear();
        if (widenOne(b, next, wide) == 2)
            ++i;
        const auto code = static_cast<std::uint16_t>(static_cast<std::uint8_t>(wide[0]) << 8 |
                                                     static_cast<std::uint8_t>(wide[1]));
        appendCodePoint(out, cp932Char(code).value_or(cp));
    }
    return out;
}

} // namespace kestrova::engine
