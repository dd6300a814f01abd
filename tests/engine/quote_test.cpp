#include "test_text.h"

#include "engine/quote.h"
#include "engine/settings.h"

#include <gtest/gtest.h>

namespace kestrova::engine {
namespace {

using test::lines;
using test::utf8;

const std::u16string kInyofu = ReflowSettings{}.Inyofu;

TEST(InyoSize, MeasuresQuoteCharactersAndTheBlanksBetweenThem)
{
    const std::pair<std::u16string_view, int> rows[] = {
        {u"> > text", 3}, {u">> text", 2}, {u"  > text", 3}, {u"   text", 0}, {u"text", 0},
        {u">", 1},        {u"> ", 1},      {u"　＞本文", 2}, {u"》〉｜", 3},  {u"|a", 1},
        {u"＞＞", 2},     {u"", 0},        {u" 　 ", 0},
    };
    for (const auto& [line, expected] : rows)
        EXPECT_EQ(InyoSize(line, kInyofu), expected) << utf8(line);
}

TEST(InyoSize, ReadsTheQuoteCharactersFromTheSetting)
{
    EXPECT_EQ(InyoSize(u"# > x", u"#"), 1);
    EXPECT_EQ(InyoSize(u"> x", u""), 0);
    EXPECT_EQ(InyoSize(u"😀😀 x", u"😀"), 2);
}

TEST(QuoteText, PutsTheFirstQuoteCharacterBeforeEveryLine)
{
    EXPECT_EQ(utf8(quoteText(lines(u"abc¶def"), kInyofu)), utf8(lines(u"≫abc¶≫def")));
    EXPECT_EQ(utf8(quoteText(lines(u"abc¶"), kInyofu)), utf8(lines(u"≫abc¶≫")));
    EXPECT_EQ(utf8(quoteText(u"", kInyofu)), "≫");
    EXPECT_EQ(utf8(quoteText(u"abc", u"  >  ")), ">abc");
    EXPECT_EQ(utf8(quoteText(u"abc", u"   ")), "abc");
}

TEST(UnquoteText, TakesTheFirstCharacterOffEveryQuotedLine)
{
    EXPECT_EQ(utf8(unquoteText(lines(u"≫abc¶def¶> > x"), kInyofu)), utf8(lines(u"abc¶def¶ > x")));
    EXPECT_EQ(utf8(unquoteText(u"  > x", kInyofu)), " > x");
    EXPECT_EQ(utf8(unquoteText(lines(u"😀a¶b"), u"😀")), utf8(lines(u"a¶b")));
}

TEST(TrimmedInyofu, RemovesSurroundingSpacesOnly)
{
    EXPECT_EQ(utf8(trimmedInyofu(u"  >  ")), ">");
    EXPECT_EQ(utf8(trimmedInyofu(u"　> ")), "　>");
    EXPECT_EQ(utf8(trimmedInyofu(u"   ")), "");
}

TEST(QuoteText, ThenUnquoteRestoresTheText)
{
    const std::u16string texts[] = {lines(u"a¶¶> b¶  c¶"), u"", lines(u"¶¶"),
                                    lines(u"本文¶　字下げ")};
    for (const auto& text : texts)
        EXPECT_EQ(utf8(unquoteText(quoteText(text, kInyofu), kInyofu)), utf8(text));
}

} // namespace
} // namespace kestrova::engine
