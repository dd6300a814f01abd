// git's comment lines and scissors line under re-flow and quoting.
#include "test_text.h"

#include "engine/quote.h"
#include "engine/reflow.h"

#include <gtest/gtest.h>

namespace kestrova::engine {
namespace {

using test::lines;
using test::utf8;

constexpr std::u16string_view kScissorsLine =
    u"# ------------------------ >8 ------------------------";

struct CommentCase
{
    const char* name;
    std::u16string_view commentChar;
    std::u16string_view input;  // ¶ = CR LF
    std::u16string_view output; // ¶ = CR LF
};

class CommentLineRows : public testing::TestWithParam<CommentCase>
{
};

// 20 columns, every tail joined with the next line, the note after a re-flowed quotation.
ReflowSettings gitSettings(std::u16string_view commentChar)
{
    ReflowSettings settings;
    settings.Columns = 20;
    settings.ChgMode = 2;
    settings.CommentChar = commentChar;
    return settings;
}

TEST_P(CommentLineRows, AreLeftExactlyAsTheyAre)
{
    const CommentCase& c = GetParam();
    ReflowState state;
    EXPECT_EQ(utf8(TextUpdate(lines(c.input), gitSettings(c.commentChar), state)),
              utf8(lines(c.output)));
}

INSTANTIATE_TEST_SUITE_P(
    TextUpdate, CommentLineRows,
    testing::Values(
        CommentCase{"ACommentLineTakesNoTail", u"#",
                    u"あいうえおかきくけこさしす¶# Please enter the commit message¶",
                    u"あいうえおかきくけこ¶さしす¶# Please enter the commit message¶"},
        CommentCase{"WithoutACommentCharacterTheTailIsJoinedAsBefore", u"",
                    u"あいうえおかきくけこさしす¶# Please enter",
                    u"あいうえおかきくけこ¶さしす# Please enter"},
        CommentCase{"ALongCommentLineIsNotBroken", u"#",
                    u"# Lines starting with '#' will be ignored, and an empty message aborts",
                    u"# Lines starting with '#' will be ignored, and an empty message aborts"},
        CommentCase{"AHashInsideALineIsText", u"#", u"see issue #12 and the long rest of it",
                    u"see issue #12 and th¶e long rest of it¶"},
        CommentCase{"AnotherCommentCharacterKeepsItsLinesOnly", u";",
                    u"; kept as it is, however long it is¶# this one is re-flowed as text",
                    u"; kept as it is, however long it is¶# this one is re-flo¶wed as text¶"},
        CommentCase{"TheNoteComesBeforeTheCommentLines", u"#",
                    u"> あいうえおかきくけこさし¶# Please enter the commit message",
                    u"> あいうえおかきくけ¶> こさし¶（改行位置を変更しました）¶"
                    u"# Please enter the commit message"},
        CommentCase{"EverythingFromTheScissorsOnStays", u"#",
                    u"件名¶¶# ------------------------ >8 ------------------------¶"
                    u"# Do not modify or remove the line above.¶"
                    u"diff --git a/long/path/to/file.txt b/long/path/to/file.txt¶"
                    u"+> 引用のように見える行も、そのまま残ります。¶",
                    u"件名¶¶# ------------------------ >8 ------------------------¶"
                    u"# Do not modify or remove the line above.¶"
                    u"diff --git a/long/path/to/file.txt b/long/path/to/file.txt¶"
                    u"+> 引用のように見える行も、そのまま残ります。¶"}),
    [](const testing::TestParamInfo<CommentCase>& row) { return std::string(row.param.name); });

// kestrova-cli re-flows a text that arrives piece by piece: the scissors line seen in one piece
// keeps the lines of the next, and a new run starts without it.
TEST(ReflowLine, TheScissorsLineHoldsAcrossPiecesAndNotIntoTheNextRun)
{
    const ReflowSettings settings = gitSettings(u"#");
    const std::u16string wide = u"a line of text that is wider than twenty columns";
    ReflowState state;
    std::u16string out;
    beginReflow(state);
    reflowLine(kScissorsLine, true, settings, state, out);
    reflowLine(wide, true, settings, state, out);
    endReflow(settings, state, out);
    EXPECT_EQ(utf8(out), utf8(std::u16string(kScissorsLine) + u"\r\n" + wide + u"\r\n"));

    out.clear();
    beginReflow(state);
    reflowLine(wide, false, settings, state, out);
    endReflow(settings, state, out);
    EXPECT_NE(out.find(u"\r\n"), std::u16string::npos) << "the next run did not re-flow";
}

TEST(QuoteText, LeavesGitsCommentLinesAndAllAfterTheScissorsUnquoted)
{
    const std::u16string text =
        lines(u"本文¶# comment¶") + std::u16string(kScissorsLine) + lines(u"¶diff¶");
    EXPECT_EQ(utf8(quoteText(text, u">", u"#")),
              utf8(lines(u">本文¶# comment¶") + std::u16string(kScissorsLine) + lines(u"¶diff¶")));
    EXPECT_EQ(
        utf8(quoteText(text, u">")),
        utf8(lines(u">本文¶># comment¶>") + std::u16string(kScissorsLine) + lines(u"¶>diff¶>")));
}

TEST(UnquoteText, LeavesGitsCommentLinesAsTheyAre)
{
    EXPECT_EQ(utf8(unquoteText(lines(u">本文¶#> comment"), u">#", u"#")),
              utf8(lines(u"本文¶#> comment")));
    EXPECT_EQ(utf8(unquoteText(lines(u">本文¶#> comment"), u">#")), utf8(lines(u"本文¶> comment")));
}

} // namespace
} // namespace kestrova::engine
