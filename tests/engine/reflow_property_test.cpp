// Properties of the re-flow over generated texts.
#include "test_text.h"

#include "engine/quote.h"
#include "engine/reflow.h"

#include <gtest/gtest.h>
#include <random>

namespace kestrova::engine {
namespace {

using test::utf8;

// Body pieces hold no quote character, so that a line's prefix is its head alone.
const std::u16string_view kBodyPieces[] = {
    u"あ",   u"い",  u"漢字", u"東京", u"。", u"、", u"っ", u"ゃ",   u"ー",
    u"～",   u"〜",  u"「",   u"」",   u"（", u"）", u"(",  u")",    u"１２３",
    u"ＡＢ", u"abc", u"123",  u" ",    u"  ", u"ｱ",  u"ｳﾞ", u"ﾟ",    u"😀",
    u"𠮷",   u"é",   u"　",   u"!",    u"?",  u".",  u"\"", u"word", u"長い"};
const std::u16string_view kHeads[] = {u"",  u"",   u"",   u"> ",   u">> ",
                                      u"≫", u"| ", u"  ", u"> > ", u"　＞"};
constexpr std::u16string_view kNote = u"※";

std::u16string generateText(std::mt19937& rng)
{
    std::u16string text;
    const int lineCount = std::uniform_int_distribution<>(1, 10)(rng);
    for (int line = 0; line < lineCount; ++line) {
        if (line > 0)
            text += u"\r\n";
        text += kHeads[rng() % std::size(kHeads)];
        const int pieces = rng() % 8 == 0 ? 200 : std::uniform_int_distribution<>(0, 40)(rng);
        for (int i = 0; i < pieces; ++i)
            text += kBodyPieces[rng() % std::size(kBodyPieces)];
    }
    if (rng() % 4 == 0)
        text += u"\r\n";
    return text;
}

std::vector<std::u16string_view> splitLines(std::u16string_view text)
{
    std::vector<std::u16string_view> out;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(u"\r\n", start);
        out.push_back(text.substr(start, end - start));
        if (end == text.npos)
            return out;
        start = end + 2;
    }
}

// The non-blank characters of the lines' texts, heads left out.
std::u16string bodyCharacters(std::u16string_view text, std::u16string_view inyofu)
{
    std::u16string out;
    for (std::u16string_view line : splitLines(text)) {
        if (line == kNote)
            continue;
        line.remove_prefix(quotePrefix(line, inyofu).units);
        for (char16_t c : line) {
            if (c != u' ' && c != u'　')
                out.push_back(c);
        }
    }
    return out;
}

struct Trial
{
    std::u16string text;
    ReflowSettings settings;
};

Trial generateTrial(std::mt19937& rng)
{
    const int columns[] = {1, 2, 3, 4, 5, 8, 12, 16, 25, 40, 70, 76};
    Trial trial{generateText(rng), {}};
    trial.settings.Columns = columns[rng() % std::size(columns)];
    trial.settings.Kinsoku = static_cast<int>(rng() % 2);
    trial.settings.ChgMode = static_cast<int>(rng() % 3);
    trial.settings.EnterMes = rng() % 2 ? std::u16string(kNote) : std::u16string();
    return trial;
}

TEST(TextUpdateProperty, NoLineIsWiderThanColumnsUnlessOneCharacterForcesIt)
{
    std::mt19937 rng(20261207);
    ReflowState state;
    for (int round = 0; round < 3000; ++round) {
        const Trial trial = generateTrial(rng);
        const int columns = trial.settings.Columns;
        const std::u16string out = TextUpdate(trial.text, trial.settings, state);
        for (std::u16string_view line : splitLines(out)) {
            if (static_cast<int>(textWidth(line)) <= columns)
                continue;
            // Only a single character after the head may overhang: room is never less than
            // one column, and a two-column character must go somewhere.
            std::u16string_view body = line.substr(quotePrefix(line, trial.settings.Inyofu).units);
            while (!body.empty() && body.front() == u' ')
                body.remove_prefix(1);
            std::size_t i = 0;
            if (!body.empty())
                (void)nextCodePoint(body, i);
            EXPECT_EQ(i, body.size()) << "columns " << columns << " line «" << utf8(line)
                                      << "» from «" << utf8(trial.text) << "»";
        }
    }
}

TEST(TextUpdateProperty, NonBlankCharactersComeOutInTheSameOrder)
{
    std::mt19937 rng(7);
    ReflowState state;
    for (int round = 0; round < 3000; ++round) {
        const Trial trial = generateTrial(rng);
        const std::u16string out = TextUpdate(trial.text, trial.settings, state);
        ASSERT_EQ(utf8(bodyCharacters(out, trial.settings.Inyofu)),
                  utf8(bodyCharacters(trial.text, trial.settings.Inyofu)))
            << "columns " << trial.settings.Columns << " kinsoku " << trial.settings.Kinsoku
            << " chgmode " << trial.settings.ChgMode << " text «" << utf8(trial.text) << "»";
    }
}

TEST(TextUpdateProperty, LinesThatFitAreLeftAlone)
{
    std::mt19937 rng(11);
    ReflowState state;
    ReflowSettings settings;
    settings.Columns = 10000;
    for (int round = 0; round < 500; ++round) {
        const std::u16string text = generateText(rng);
        EXPECT_EQ(utf8(TextUpdate(text, settings, state)), utf8(text));
    }
}

TEST(QuoteProperty, QuotingThenUnquotingRestoresTheText)
{
    std::mt19937 rng(3);
    const std::u16string inyofu = ReflowSettings{}.Inyofu;
    for (int round = 0; round < 1000; ++round) {
        const std::u16string text = generateText(rng);
        EXPECT_EQ(utf8(unquoteText(quoteText(text, inyofu), inyofu)), utf8(text));
    }
}

} // namespace
} // namespace kestrova::engine
