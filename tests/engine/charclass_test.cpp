#include "engine/charclass.h"

#include <gtest/gtest.h>

namespace kestrova::engine {
namespace {

TEST(ByteGet, CountsColumnsOfTheFirstCharacters)
{
    EXPECT_EQ(ByteGet(u"ｱｲｳ", 2), 2);
    EXPECT_EQ(ByteGet(u"あいう", 2), 4);
    EXPECT_EQ(ByteGet(u"あいう", 0), 0);
    EXPECT_EQ(ByteGet(u"aあb", 10), 4);
    // A surrogate pair is one character.
    EXPECT_EQ(ByteGet(u"😀a", 1), 2);
}

TEST(KanjiCheck, IsTrueOnlyOnALeadByte)
{
    const std::string bytes = "\x61\x82\xA0\x62";
    EXPECT_FALSE(KanjiCheck(bytes, 0));
    EXPECT_FALSE(KanjiCheck(bytes, 1));
    EXPECT_TRUE(KanjiCheck(bytes, 2));
    EXPECT_FALSE(KanjiCheck(bytes, 3));
    EXPECT_FALSE(KanjiCheck(bytes, 4));
    // A trail byte that looks like a lead byte is still a trail byte.
    EXPECT_FALSE(KanjiCheck("\x88\x9F\x41", 2));
}

TEST(WordCheckSub, GivesThePositionInTheList)
{
    EXPECT_EQ(WordCheckSub(u"b", u"abc"), 2);
    EXPECT_EQ(WordCheckSub(u"d", u"abc"), 0);
    EXPECT_EQ(WordCheckSub(u"", u"abc"), 0);
    EXPECT_EQ(WordCheckSub(u"ab", u"abc"), 0);
    EXPECT_EQ(WordCheckSub(u"B", u"abc"), 0); // no case folding
    EXPECT_EQ(WordCheckSub(u"😀", u"a😀"), 2);
}

struct ClassRow
{
    std::u16string_view c;
    int expected;
};

TEST(WordCheck, ClassifiesByTheListsAndRanges)
{
    const ClassRow rows[] = {
        {u"っ", 1}, {u"ｯ", 1}, {u"ー", 2}, {u"～", 2}, {u"?", 2},  {u"、", 3}, {u"ﾞ", 3},
        {u"Ａ", 4}, {u"×", 4}, {u"＿", 4}, {u"ｚ", 4}, {u"０", 4}, {u"a", 5},  {u"9", 5},
        {u"\\", 5}, {u"~", 5}, {u" ", 0},  {u"」", 0}, {u"（", 0}, {u"あ", 0}, {u"漢", 0},
        {u"〜", 2}, {u"−", 4}, {u"😀", 0},  {u"", 0},   {u"ab", 0},
    };
    for (const ClassRow& row : rows)
        EXPECT_EQ(WordCheck(row.c), row.expected) << std::u16string(row.c).size();
}

TEST(KakkoCheck, MovesTheBreakBeforeABracketedRunThatFits)
{
    EXPECT_EQ(KakkoCheck(u"あいうえお「かき」くけこさしす", 6), 5);
    EXPECT_EQ(KakkoCheck(u"あ(bc)de", 3), 1);
}

TEST(KakkoCheck, LeavesTheBreakWhenTheRunCannotMoveWhole)
{
    // The run is wider than the line.
    EXPECT_EQ(KakkoCheck(u"あいうえお「かきくけこさしす」せ", 6), 0);
    // The opening bracket is the line's first character.
    EXPECT_EQ(KakkoCheck(u"「かき」くけこ", 3), 0);
    // No closing bracket.
    EXPECT_EQ(KakkoCheck(u"あいうえお「かきくけこ", 6), 0);
    // The run closes before the break.
    EXPECT_EQ(KakkoCheck(u"あ「い」うえお", 5), 0);
}

TEST(KakkoCheck, NestedRunsMoveTheBreakToTheOutermostRunThatFits)
{
    // The ( run fits: the break goes before it, and 「 after the new break is not looked at.
    EXPECT_EQ(KakkoCheck(u"abcdef(g「h」)ij", 9), 6);
    // The ( run is too wide; the 「 run inside it moves the break.
    EXPECT_EQ(KakkoCheck(u"abcd(ef「g」h)", 8), 7);
}

} // namespace
} // namespace kestrova::engine
