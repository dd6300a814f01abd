// The re-flow of long lines, measured a window at a time, against the same re-flow measuring
// every line whole (the way every shorter line goes, held by the other re-flow tests): the same
// output and the same state for every input and setting.
#include "test_text.h"

#include "engine/reflow.h"

#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace kestrova::engine {
namespace {

using test::utf8;

constexpr char16_t kLoneHigh[] = {0xD800, 0};
constexpr char16_t kLoneLow[] = {0xDC00, 0};
const std::u16string_view kPieces[] = {u"abc",
                                       u"word",
                                       u"123",
                                       u" ",
                                       u"  ",
                                       u"あ",
                                       u"漢字",
                                       u"東京",
                                       u"っ",
                                       u"ゃ",
                                       u"ァ",
                                       u"ー",
                                       u"。",
                                       u"、",
                                       u"。。",
                                       u"「",
                                       u"」",
                                       u"（",
                                       u"）",
                                       u"(",
                                       u")",
                                       u"[",
                                       u"]",
                                       u"１２",
                                       u"ＡＢ",
                                       u"ｱ",
                                       u"ｶﾞ",
                                       u"ﾞ",
                                       u"ﾟ",
                                       u"😀",
                                       u"𠮷",
                                       u"é",
                                       u"e\u0301",
                                       u"か\u3099",
                                       u"🇯🇵",
                                       u"🇯",
                                       u"★\uFE0F",
                                       u"👨\u200D👩",
                                       u"™ﾞ\u200D😀",
                                       u"™\u200D😀",
                                       u"葛\U000E0100",
                                       kLoneHigh,
                                       kLoneLow,
                                       u"\r",
                                       u"\n",
                                       u"　",
                                       u"!",
                                       u"?",
                                       u"～"};
const std::u16string_view kHeads[] = {u"", u"", u"> ", u">> ", u"≫", u"  ", u"> > ", u"#"};

// A few lines, most long and some very long, with the odd comment line.
std::u16string generateText(std::mt19937& rng)
{
    std::u16string text;
    const int lineCount = std::uniform_int_distribution<>(1, 4)(rng);
    for (int line = 0; line < lineCount; ++line) {
        if (line > 0)
            text += u"\r\n";
        text += kHeads[rng() % std::size(kHeads)];
        const int pieces = std::uniform_int_distribution<>(0, rng() % 4 == 0 ? 3000 : 300)(rng);
        // Some lines draw from a few pieces only, so that runs of one kind grow long.
        const std::size_t kinds = rng() % 3 == 0 ? 4 : std::size(kPieces);
        const std::size_t offset = rng() % (std::size(kPieces) - kinds + 1);
        for (int i = 0; i < pieces; ++i)
            text += kPieces[offset + rng() % kinds];
    }
    return text;
}

struct Run
{
    std::u16string out;
    ReflowState state;
};

void expectSame(const Run& window, const Run& whole, const std::string& what)
{
    ASSERT_EQ(utf8(window.out), utf8(whole.out)) << what;
    EXPECT_EQ(window.state.FlowState, whole.state.FlowState) << what;
    EXPECT_EQ(window.state.NoteDue, whole.state.NoteDue) << what;
    EXPECT_EQ(window.state.PastScissors, whole.state.PastScissors) << what;
    EXPECT_EQ(utf8(window.state.Carry.Tail), utf8(whole.state.Carry.Tail)) << what;
    EXPECT_EQ(utf8(window.state.Carry.Quote), utf8(whole.state.Carry.Quote)) << what;
    EXPECT_EQ(window.state.Carry.QuoteLen, whole.state.Carry.QuoteLen) << what;
    EXPECT_EQ(utf8(window.state.Carry.Indent), utf8(whole.state.Carry.Indent)) << what;
    EXPECT_EQ(window.state.Carry.IndentLen, whole.state.Carry.IndentLen) << what;
}

// Both re-flows of text under every combination of settings at the given columns.
void compareEverySetting(std::u16string_view text, int columns, std::size_t windowUnits)
{
    for (int kinsoku = 0; kinsoku <= 1; ++kinsoku) {
        for (int chgMode = 0; chgMode <= 2; ++chgMode) {
            for (const std::u16string_view note : {u"", u"※"}) {
                ReflowSettings settings;
                settings.Columns = columns;
                settings.Kinsoku = kinsoku;
                settings.ChgMode = chgMode;
                settings.EnterMes = note;
                settings.CommentChar = (columns % 2) ? u"#" : u"";
                Run window, whole;
                window.state.windowUnits = windowUnits;
                window.out = TextUpdate(text, settings, window.state);
                whole.state.windowUnits = std::numeric_limits<std::size_t>::max();
                whole.out = TextUpdate(text, settings, whole.state);
                expectSame(window, whole,
                           "columns " + std::to_string(columns) + " kinsoku " +
                               std::to_string(kinsoku) + " chgmode " + std::to_string(chgMode) +
                               " note " + std::to_string(note.size()) + " window " +
                               std::to_string(windowUnits) + " text «" + utf8(text) + "»");
                if (testing::Test::HasFailure())
                    return;
            }
        }
    }
}

TEST(ReflowWindow, GeneratedTextsComeOutAsWhenMeasuredWhole)
{
    std::mt19937 rng(2212);
    for (int round = 0; round < 30; ++round) {
        const std::u16string text = generateText(rng);
        for (const int columns : {2, 3, 10, 70, 200}) {
            for (const std::size_t window :
                 {std::size_t{1}, std::size_t{7}, ReflowState{}.windowUnits}) {
                compareEverySetting(text, columns, window);
                if (HasFailure())
                    return;
            }
        }
    }
}

std::u16string repeated(std::u16string_view piece, int times)
{
    std::u16string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

TEST(ReflowWindow, CraftedLongLinesComeOutAsWhenMeasuredWhole)
{
    struct Row
    {
        const char* name;
        std::u16string text;
    };
    const Row rows[] = {
        {"one cluster longer than any window",
         u"前" + repeated(u"e", 1) + repeated(u"\u0301", 5000) + u"後。"},
        {"a word longer than the line", repeated(u"abcdefghij", 800) + u" end"},
        {"flags that pair from the run's start", repeated(u"🇯", 2001) + u"。"},
        {"zero-width joiners after a character with a form", repeated(u"™ﾞ\u200D😀ｶﾞ", 900)},
        {"brackets opened and closed far apart",
         repeated(u"「あいう」（", 500) + repeated(u"漢", 3000) + u"）"},
        {"stops and small kana at every break", repeated(u"っ。ー、ゃ。。", 1500)},
        {"surrogate pairs and lone surrogates",
         repeated(u"𠮷" + std::u16string(kLoneLow) + u"😀" + kLoneHigh, 1200)},
        {"quoted and indented long line", u">   " + repeated(u"引用文の一部です。", 900)},
        {"long line after a comment line", u"# keep\r\n" + repeated(u"ab。", 3000)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const int columns : {2, 3, 10, 70, 200}) {
            for (const std::size_t window :
                 {std::size_t{1}, std::size_t{64}, ReflowState{}.windowUnits}) {
                compareEverySetting(row.text, columns, window);
                if (HasFailure())
                    return;
            }
        }
    }
}

} // namespace
} // namespace kestrova::engine
