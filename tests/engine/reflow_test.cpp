#include "test_text.h"

#include "engine/reflow.h"

#include <gtest/gtest.h>

namespace kestrova::engine {
namespace {

using test::lines;
using test::utf8;

struct ReflowCase
{
    const char* name;
    int columns;
    int kinsoku;
    int chgMode;
    std::u16string_view enterMes;
    std::u16string_view input;  // ¶ = CR LF
    std::u16string_view output; // ¶ = CR LF
};

constexpr std::u16string_view kNote = u"（改行位置を変更しました）";

class TextUpdateExamples : public testing::TestWithParam<ReflowCase>
{
};

TEST_P(TextUpdateExamples, GiveTheDesignedOutput)
{
    const ReflowCase& c = GetParam();
    ReflowSettings settings;
    settings.Columns = c.columns;
    settings.Kinsoku = c.kinsoku;
    settings.ChgMode = c.chgMode;
    settings.EnterMes = c.enterMes;
    ReflowState state;
    EXPECT_EQ(utf8(TextUpdate(lines(c.input), settings, state)), utf8(lines(c.output)));
}

INSTANTIATE_TEST_SUITE_P(
    TextUpdate, TextUpdateExamples,
    testing::Values(
        ReflowCase{"StopMayNotBeginALine", 12, 1, 0, kNote, u"あいうえおか。きく",
                   u"あいうえお¶か。きく"},
        ReflowCase{"SecondOfTwoStopsBeginsTheLine", 12, 1, 0, kNote, u"あいうえお。、き",
                   u"あいうえお。¶、き"},
        ReflowCase{"SmallKanaAndProlongedMarkGoDownWithTheirCharacter", 12, 1, 0, kNote,
                   u"あいうえおっーき", u"あいうえ¶おっーき"},
        ReflowCase{"BracketedRunThatFitsMovesDownWhole", 12, 1, 0, kNote,
                   u"あいうえお「かき」くけこさしす", u"あいうえお¶「かき」くけ¶こさしす"},
        ReflowCase{"BracketedRunTooWideIsBrokenLikeOtherText", 12, 1, 0, kNote,
                   u"あいうえお「かきくけこさしす」", u"あいうえお「¶かきくけこさ¶しす」"},
        ReflowCase{"FullWidthNumberStaysWhole", 12, 1, 0, kNote, u"価格は１２３４５円です",
                   u"価格は¶１２３４５円¶です"},
        ReflowCase{"WordsStayWhole", 12, 1, 0, kNote, u"This is a pen and that is a book.",
                   u"This is a ¶pen and that¶ is a book."},
        ReflowCase{"WithoutKinsokuWordsAreCutAtTheLimit", 12, 0, 0, kNote,
                   u"This is a pen and that is a book.", u"This is a pe¶n and that i¶s a book."},
        ReflowCase{"OverLongWordIsBrokenAtTheLimit", 12, 1, 0, kNote, u"abcdefghijklmnopqrstuvwxyz",
                   u"abcdefghijkl¶mnopqrstuvwx¶yz"},
        ReflowCase{"IndentationRepeatsOnEveryLine", 16, 1, 0, kNote,
                   u"  indented paragraph text goes on and on",
                   u"  indented ¶  paragraph text¶   goes on and ¶  on"},
        ReflowCase{"TailIsGluedToTheNextLine", 16, 1, 2, kNote,
                   u"line one is rather long here¶line two",
                   u"line one is ¶rather long ¶hereline two¶"},
        ReflowCase{"EmptyLineFlushesTheTail", 16, 1, 2, kNote,
                   u"line one is rather long here¶¶line two",
                   u"line one is ¶rather long here¶¶line two"},
        ReflowCase{"QuotedTailJoinsAndTheNoteFollows", 16, 1, 2, kNote,
                   u"> これは引用文で、とても長い行です。¶> 次の行。¶本文です。",
                   u"> これは引用文¶> で、とても長い¶> 行です。次の¶> 行。¶"
                   u"（改行位置を変更しました）¶本文です。"},
        ReflowCase{"QuotedTailOnItsOwnLineWithChgMode0", 16, 1, 0, kNote,
                   u"> これは引用文で、とても長い行です。¶> 次の行。¶本文です。",
                   u"> これは引用文¶> で、とても長い¶> 行です。¶> 次の行。¶"
                   u"（改行位置を変更しました）¶本文です。"},
        ReflowCase{"NoNoteWhenEnterMesIsEmpty", 16, 1, 2, u"",
                   u"> これは引用文で、とても長い行です。¶> 次の行。¶本文です。",
                   u"> これは引用文¶> で、とても長い¶> 行です。次の¶> 行。¶本文です。"},
        ReflowCase{"OverWidePrefixIsCutAndTheRestDropped", 8, 1, 0, kNote, u">>>>>>>>>>>> text",
                   u">>>>>>te¶>>>>>>xt¶（改行位置を変更しました）¶"},
        ReflowCase{"LineThatFitsKeepsItsTrailingSpaces", 12, 1, 0, kNote, u"abc   ¶def  ",
                   u"abc   ¶def  "},
        ReflowCase{"EmptyTextStaysEmpty", 12, 1, 0, kNote, u"", u""},
        ReflowCase{"SingleLineThatFitsGetsNoLineEnd", 12, 1, 2, kNote, u"short", u"short"},
        ReflowCase{"LoneCrAndLfAreOrdinaryCharacters", 6, 0, 0, kNote, u"ab\rcd\nef",
                   u"ab\rcd\n¶ef"},
        ReflowCase{"ColumnsOneStillPlacesAWholeCharacterPerLine", 1, 1, 0, kNote, u"aあ", u"a¶あ"},
        // A note line already after the quotation is not written a second time.
        ReflowCase{"NoteAlreadyFollowingTheQuotationIsNotRepeated", 16, 1, 2, u"（注）",
                   u"> これは引用文で、とても長い行です。¶> 次の行。¶（注）¶本文です。",
                   u"> これは引用文¶> で、とても長い¶> 行です。次の¶> 行。¶（注）¶本文です。"},
        ReflowCase{"NoteAlreadyFollowingAFlushedTailIsNotRepeated", 16, 1, 1, u"（注）",
                   u"> これは引用文で、とても長い行です。¶（注）",
                   u"> これは引用文¶> で、とても長い¶> 行です。¶（注）"},
        ReflowCase{"LineThatOnlyResemblesTheNoteGetsTheNoteBeforeIt", 16, 1, 0, u"（注）",
                   u"> これは引用文で、とても長い行です。¶（注） ",
                   u"> これは引用文¶> で、とても長い¶> 行です。¶（注）¶（注） "},
        // What a reader sees as one character is never split, and measures the sum of its
        // characters' widths.
        ReflowCase{"CombiningAccentStaysWithItsLetter", 4, 0, 0, kNote, u"abce\u0301f",
                   u"abc¶e\u0301f"},
        ReflowCase{"CombiningAccentStaysWithItsLetterUnderKinsoku", 5, 1, 0, kNote, u"abc e\u0301f",
                   u"abc ¶e\u0301f"},
        ReflowCase{"CombiningVoicedMarkStaysWithItsKana", 6, 0, 0, kNote, u"あいか\u3099う",
                   u"あい¶か\u3099う"},
        ReflowCase{"StopTakesTheWholeClusterBeforeItDown", 8, 1, 0, kNote, u"あいか\u3099。",
                   u"あい¶か\u3099。"},
        ReflowCase{"RegionalIndicatorFlagStaysWhole", 3, 0, 0, kNote, u"ab🇯🇵", u"ab¶🇯🇵"},
        ReflowCase{"EmojiZwjSequenceStaysWholeEvenWhenWiderThanTheLine", 3, 1, 0, kNote,
                   u"a👨\u200D👩\u200D👧b", u"a¶👨\u200D👩\u200D👧¶b"},
        ReflowCase{"VariationSelectorStaysWithItsCharacter", 6, 0, 0, kNote, u"あい★\uFE0Fう",
                   u"あい¶★\uFE0Fう"},
        ReflowCase{"IdeographicVariationSelectorStaysWithItsKanji", 4, 0, 0, kNote,
                   u"あ葛\U000E0100い", u"あ¶葛\U000E0100¶い"},
        // Half-width voiced marks are characters of their own in code page 932, as before.
        ReflowCase{"HalfWidthVoicedMarkIsACharacterOfItsOwn", 3, 0, 0, kNote, u"ｱｲｶﾞ", u"ｱｲｶ¶ﾞ"}),
    [](const testing::TestParamInfo<ReflowCase>& row) { return std::string(row.param.name); });

TEST(TextUpdate, StateOfAnEarlierRunNeverLeaksIntoTheNext)
{
    ReflowSettings settings;
    settings.Columns = 16;
    settings.ChgMode = 2;
    ReflowState state;
    (void)TextUpdate(lines(u"> これは引用文で、とても長い行です。"), settings, state);
    // The first run ended with a note owed and a tail waiting; neither reaches this run.
    state.FlowState = 2;
    state.NoteDue = true;
    state.Carry.Tail = u"stale";
    EXPECT_EQ(utf8(TextUpdate(u"plain", settings, state)), "plain");
}

TEST(TextUpdate, CharactersWithoutACodePage932FormAreKeptAndMeasuredByTheirWidth)
{
    ReflowSettings settings;
    settings.Columns = 6;
    settings.Kinsoku = 1;
    settings.ChgMode = 0;
    ReflowState state;
    // 😀 and 𠮷 are wide (two columns), 한 is wide; U+00E9 is narrow.
    EXPECT_EQ(utf8(TextUpdate(u"😀𠮷한é😀", settings, state)), utf8(u"😀𠮷한\r\né😀"));
}

TEST(TextUpdate, WaveDashVariantIsMeasuredLikeTheFullWidthTilde)
{
    ReflowSettings settings;
    settings.Columns = 12;
    settings.Kinsoku = 1;
    settings.ChgMode = 0;
    ReflowState state;
    // U+301C is a prolonged mark like U+FF5E: it may not begin a line.
    EXPECT_EQ(utf8(TextUpdate(u"あいうえおか〜き", settings, state)),
              utf8(lines(u"あいうえお¶か〜き")));
}

struct KinsokuCase
{
    const char* name;
    int kinsoku;
    std::u16string_view text;
    int width;
    int expected;
};

class KinsokuCheckRows : public testing::TestWithParam<KinsokuCase>
{
};

TEST_P(KinsokuCheckRows, GiveTheBytesThatGoOnTheLine)
{
    const KinsokuCase& c = GetParam();
    ReflowSettings settings;
    settings.Kinsoku = c.kinsoku;
    const auto bytes = toCp932(c.text);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(KinsokuCheck(*bytes, c.width, settings), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    KinsokuCheck, KinsokuCheckRows,
    testing::Values(KinsokuCase{"NeverSplitsATwoByteCharacter", 0, u"あいう", 5, 4},
                    KinsokuCase{"ShorterThanTheRoomIsTakenWhole", 1, u"あい", 5, 4},
                    KinsokuCase{"RoomOfOneTakesOneWholeCharacter", 1, u"あい", 1, 2},
                    KinsokuCase{"RoomOfOneTakesOneByteCharacter", 1, u"ab", 1, 1},
                    KinsokuCase{"BreakBetweenFullAndHalfWidthWordsIsAllowed", 1, u"ＡＢabc", 5, 4},
                    KinsokuCase{"SpaceAtTheBreakBeginsTheNextLine", 1, u"ab cd", 2, 2},
                    KinsokuCase{"ClosingBracketMayBeginALine", 1, u"あい」う", 4, 4},
                    KinsokuCase{"SecondOfTwoStopsBeginsTheLine", 1, u"あい。、う", 6, 6},
                    KinsokuCase{"CharactersThatMayNotBeginALineTakeTheOneBeforeThemDown", 1,
                                u"あいうっ。う", 8, 4},
                    KinsokuCase{"RunThatMayNotBeginALineReachingTheStartBreaksAtTheLimit", 1,
                                u"あーーーーー", 6, 6}),
    [](const testing::TestParamInfo<KinsokuCase>& row) { return std::string(row.param.name); });

TEST(UpdateSub, FlushedTailKeepsTheHeadOfTheLineItCameFrom)
{
    ReflowSettings settings;
    settings.Columns = 10;
    settings.Kinsoku = 1;
    settings.ChgMode = 2;
    settings.EnterMes = u"";
    ReflowState state;
    EXPECT_EQ(utf8(UpdateSub(u"> aaaa bbbb cc", settings, state)), utf8(u"> aaaa "));
    EXPECT_EQ(state.FlowState, 2);
    EXPECT_EQ(utf8(state.Carry.Tail), "bbbb cc");
    // A different prefix: the tail is flushed under its own head.
    EXPECT_EQ(utf8(UpdateSub(u">> x", settings, state)), utf8(u"> bbbb cc\r\n>> x"));
}

TEST(UpdateSub, IndentationIsCutSoThatTwoColumnsRemain)
{
    ReflowSettings settings;
    settings.Columns = 6;
    settings.Kinsoku = 0;
    settings.ChgMode = 0;
    ReflowState state;
    EXPECT_EQ(utf8(UpdateSub(u">       abcdef", settings, state)),
              utf8(u">   ab\r\n>   cd\r\n>   ef"));
}

} // namespace
} // namespace kestrova::engine
