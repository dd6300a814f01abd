// The engine's fixed character lists: line-start rules, word characters, brackets.
#pragma once

#include <array>
#include <string_view>
#include <utility>

namespace kestrova::engine {

inline constexpr std::u16string_view kSmallKanaList =
    u"ぁぃぅぇぉァィゥェォっゃゅょッャュョｧｨｩｪｫｯｬｭｮ";
// U+FF5E is the code page 932 form of the wave dash.
inline constexpr std::u16string_view kProlongedMarkList = u"ー～・？！ｰ･?!";
inline constexpr std::u16string_view kStopList = u"。、゜゛｡､ﾟﾞ";
inline constexpr std::u16string_view kFullWidthSymbolList = u"．－＋×÷＝％＄￥＊／＠￣＾：＿";
inline constexpr std::u16string_view kHalfWidthSymbolList = u".-+=%$\\*/@~^:_";

// Opening and closing characters in pairs, searched pair by pair in this order; 「」 is listed
// twice, as it always has been.
inline constexpr std::u16string_view kBracketList =
    u"()<>｢｣{}[]‘’\"\"（）〔〕［］｛｝〈〉《》「」「」『』【】〝〟";
inline constexpr int kBracketPairs = 18;

// Characters that other Japanese mappings use where code page 932 has the second one: they
// are measured and classified like it, and left as they are.
inline constexpr std::array<std::pair<char32_t, char32_t>, 6> kJisVariants{{
    {0x301C, 0xFF5E},
    {0x2016, 0x2225},
    {0x2212, 0xFF0D},
    {0x00A2, 0xFFE0},
    {0x00A3, 0xFFE1},
    {0x00AC, 0xFFE2},
}};

// 1-based position of c in list, 0 when absent.
[[nodiscard]] constexpr int listPosition(char32_t c, std::u16string_view list)
{
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == c)
            return static_cast<int>(i) + 1;
    }
    return 0;
}

// The word class of a character by the lists and ranges alone (variants not folded).
[[nodiscard]] constexpr int wordClassOfListedChar(char32_t c)
{
    if (listPosition(c, kSmallKanaList))
        return 1;
    if (listPosition(c, kProlongedMarkList))
        return 2;
    if (listPosition(c, kStopList))
        return 3;
    if ((c >= U'０' && c <= U'９') || (c >= U'Ａ' && c <= U'Ｚ') || (c >= U'ａ' && c <= U'ｚ') ||
        listPosition(c, kFullWidthSymbolList))
        return 4;
    if ((c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') ||
        listPosition(c, kHalfWidthSymbolList))
        return 5;
    return 0;
}

static_assert(kSmallKanaList.size() == 27);
static_assert(kProlongedMarkList.size() == 9);
static_assert(kStopList.size() == 8);
static_assert(kFullWidthSymbolList.size() == 16);
static_assert(kHalfWidthSymbolList.size() == 14);
static_assert(kBracketList.size() == 2 * kBracketPairs);

} // namespace kestrova::engine
