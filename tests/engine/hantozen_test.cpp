#include "test_text.h"

#include "engine/cp932.h"
#include "engine/hantozen.h"

#include <gtest/gtest.h>

namespace kestrova::engine {
namespace {

using test::utf8;

std::u16string widenedBytes(std::u16string_view text)
{
    auto bytes = toCp932(text);
    EXPECT_TRUE(bytes);
    HanToZenBytes(*bytes);
    auto back = fromCp932(*bytes);
    EXPECT_TRUE(back);
    return back.value_or(u"");
}

TEST(HanToZenBytes, WidensKanaAndMergesMarks)
{
    const std::pair<std::u16string_view, std::u16string_view> rows[] = {
        {u"ｶﾞｷﾞｸﾞ", u"ガギグ"}, {u"ﾊﾟﾋﾟ", u"パピ"},
        {u"ｳﾞ", u"ヴ"},         {u"ﾊﾞﾊﾟﾊ", u"バパハ"},
        {u"ｱﾞ", u"ア゛"},       {u"ｶﾟ", u"カ゜"},
        {u"ﾞ", u"゛"},          {u"｡｢｣､･", u"。「」、・"},
        {u"ｰ", u"ー"},          {u"ﾜｦﾝ", u"ワヲン"},
        {u"ｯﾃｨ", u"ッティ"},    {u"abc あ ＡＢ", u"abc あ ＡＢ"},
        {u"漢ｶ", u"漢カ"},      {u"", u""},
    };
    for (const auto& [input, expected] : rows) {
        EXPECT_EQ(utf8(widenedBytes(input)), utf8(expected)) << utf8(input);
        EXPECT_EQ(utf8(widenKana(input)), utf8(expected)) << utf8(input);
    }
}

TEST(HanToZenBytes, KeepsTwoByteCharactersWhoseTrailLooksLikeKana)
{
    // ｿ's byte 0xBF is the trail of 0x88BF; it must not be widened.
    std::string bytes = "\x88\xBF";
    HanToZenBytes(bytes);
    EXPECT_EQ(bytes, "\x88\xBF");
}

TEST(HanToZenBytes, WidensTheNonCharacterByteA0ToTheIdeographicSpace)
{
    std::string bytes = "\xA0";
    HanToZenBytes(bytes);
    EXPECT_EQ(bytes, "\x81\x40");
}

TEST(WidenKana, KeepsCharactersWithoutACodePage932Form)
{
    EXPECT_EQ(utf8(widenKana(u"😀ｶﾞ𠮷〜")), utf8(u"😀ガ𠮷〜"));
}

} // namespace
} // namespace kestrova::engine
