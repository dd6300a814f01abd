#include "engine/cp932.h"

#include <algorithm>

namespace kestrova::engine {
namespace {

using namespace cp932_tables;

constexpr std::uint8_t kTwoColumns = InfoBits::kTwoColumns;
constexpr std::uint8_t kHasForm = InfoBits::kHasForm;
constexpr std::uint8_t kOpening = InfoBits::kOpening;

bool eastAsianWide(char32_t cp)
{
    const WideRange* end = kWideRanges + kWideRangeCount;
    const WideRange* r = std::upper_bound(
        kWideRanges, end, cp, [](char32_t c, const WideRange& w) { return c < w.first; });
    return r != kWideRanges && cp <= r[-1].last;
}

} // namespace

CharInfo charInfo(char32_t cp)
{
    if (cp < 0x10000) {
        const std::uint8_t bits = kInfo[cp];
        return CharInfo{static_cast<std::uint8_t>(bits & kTwoColumns ? 2 : 1),
                        static_cast<std::uint8_t>((bits >> 1) & 7), (bits & kHasForm) != 0,
                        (bits & kOpening) != 0};
    }
    return CharInfo{static_cast<std::uint8_t>(eastAsianWide(cp) ? 2 : 1), kClassOther, false,
                    false};
}

int charWidth(char32_t cp)
{
    if (cp < 0x10000)
        return (kInfo[cp] & kTwoColumns) ? 2 : 1;
    return eastAsianWide(cp) ? 2 : 1;
}

std::optional<std::uint16_t> cp932Code(char32_t cp)
{
    if (cp >= 0x10000)
        return std::nullopt;
    if (!(kInfo[cp] & kHasForm))
        return std::nullopt;
    return kEncode[cp];
}

std::optional<char32_t> cp932Char(std::uint16_t code)
{
    const char16_t c = code < 0x100 ? kDecode1[code] : kDecode2[code];
    if (c == kNoChar)
        return std::nullopt;
    return c;
}

void appendCodePoint(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

std::optional<std::string> toCp932(std::u16string_view text, std::size_t* unmappedAt)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t at = i;
        const char32_t cp = nextCodePoint(text, i);
        if (cp >= 0x10000 || !(kInfo[cp] & kHasForm)) {
            if (unmappedAt)
                *unmappedAt = at;
            return std::nullopt;
        }
        const std::uint16_t code = kEncode[cp];
        if (kInfo[cp] & kTwoColumns)
            out.push_back(static_cast<char>(code >> 8));
        out.push_back(static_cast<char>(code & 0xFF));
    }
    return out;
}

std::optional<std::u16string> fromCp932(std::string_view bytes, std::size_t* badAt)
{
    std::u16string out(bytes.size(), u'\0');
    char16_t* o = out.data();
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const std::size_t at = i;
        const std::uint8_t b = in[i];
        char16_t c;
        if (b < 0x80) {
            c = b;
            ++i;
        } else if (isLeadByte(b) && i + 1 < n) {
            c = kDecode2[b << 8 | in[i + 1]];
            i += 2;
        } else {
            c = kDecode1[b];
            ++i;
        }
        if (c == kNoChar) {
            if (badAt)
                *badAt = at;
            return std::nullopt;
        }
        *o++ = c;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

const std::uint8_t* bmpInfoTable() { return kInfo; }

std::size_t textWidth(std::u16string_view text)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const char16_t u = text[i];
        if (u < 0xD800 || u > 0xDFFF) {
            width += 1 + (kInfo[u] & kTwoColumns);
            ++i;
        } else {
            width += static_cast<std::size_t>(charWidth(nextCodePoint(text, i)));
        }
    }
    return width;
}

} // namespace kestrova::engine
