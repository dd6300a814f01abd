// Properties of the re-flow over generated texts.
#include "test_text.h"

#include "engine/quote.h"
#include "engine/reflow.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

namespace kestrova::engine {
namespace {

using test::utf8;

// Body pieces hold no quote character, so that a line's prefix is its head alone.
const std::u16string_view kBodyPieces[] = {
    u"あ", u"い", u"漢字", u"東京", u"。", u"、", u"っ", u"ゃ", u"ー", u"～", u"〜", u"「", u"」",
    u"（", u"）", u"(", u")", u"１２３", u"ＡＢ", u"abc", u"123", u" ", u"  ", u"ｱ", u"ｳﾞ", u"ﾟ",
    u"😀", u"𠮷", u"é", u"　", u"!", u"?", u".", u"\"", u"word", u"長い",
    // grapheme clusters of several characters
    u"e\u0301", u"か\u3099", u"🇯🇵", u"★\uFE0F", u"👨\u200D👩", u"葛\U000E0100"};
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
            // one column, and a two-column character or a cluster must go somewhere.
            std::u16string_view body = line.substr(quotePrefix(line, trial.settings.Inyofu).units);
            // A prefix cut to fit may end in a blank, which is then no quote prefix.
            while (!body.empty() && (body.front() == u' ' || body.front() == u'　'))
                body.remove_prefix(1);
            std::vector<MeasuredChar> chars;
            measureText(body, chars);
            const bool oneCluster =
                std::all_of(chars.begin() + (chars.empty() ? 0 : 1), chars.end(),
                            [](const MeasuredChar& c) { return c.joins; });
            EXPECT_TRUE(oneCluster) << "columns " << columns << " line «" << utf8(line)
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

// The design's own re-flow of one unquoted, unindented line with ChgMode 0, on code page 932
// bytes: KinsokuCheck cuts the bytes until the rest fits.
std::u16string reflowBytes(std::u16string_view line, const ReflowSettings& settings)
{
    const auto bytes = toCp932(line);
    if (!bytes)
        return u"(no code page 932 form)";
    std::string_view rest = *bytes;
    if (static_cast<int>(rest.size()) <= settings.Columns)
        return std::u16string(line);
    std::string out;
    bool first = true;
    while (!rest.empty()) {
        std::size_t k = rest.size();
        if (first || static_cast<int>(rest.size()) > settings.Columns)
            k = static_cast<std::size_t>(KinsokuCheck(rest, settings.Columns, settings));
        if (!first)
            out += "\r\n";
        out += rest.substr(0, k);
        rest.remove_prefix(k);
        first = false;
    }
    return fromCp932(out).value_or(u"(undecodable)");
}

// Every character of code page 932 from the space up, the half-width voiced marks included.
std::vector<char32_t> cp932Repertoire()
{
    std::vector<char32_t> chars;
    for (int code = 0x20; code <= 0xFCFC; ++code) {
        if (code == 0x7F || (code > 0xFF && !isLeadByte(static_cast<std::uint8_t>(code >> 8))))
            continue;
        if (const auto cp = cp932Char(static_cast<std::uint16_t>(code)))
            chars.push_back(*cp);
    }
    return chars;
}

ReflowSettings unquotedSettings(int columns, int kinsoku)
{
    ReflowSettings settings;
    settings.Columns = columns;
    settings.Kinsoku = kinsoku;
    settings.ChgMode = 0;
    settings.Inyofu = u""; // no line has a quote prefix
    return settings;
}

TEST(TextUpdateProperty, CodePage932TextsBreakAsTheBytesDo)
{
    const std::vector<char32_t> repertoire = cp932Repertoire();
    ASSERT_GT(repertoire.size(), 7000u);
    const std::u16string_view rulePieces[] = {
        u"ｶﾞ", u"ﾊﾟ", u"ﾞ",  u"ﾟ", u"。", u"、", u"っ",   u"ー", u"「", u"」", u"(",
        u")",  u"１", u"Ａ", u"a", u"7",  u" ",  u"word", u"★",  u"♪",  u"～", u"ｯ"};
    std::mt19937 rng(932);
    for (int round = 0; round < 3000; ++round) {
        std::u16string line = u"x"; // no indentation
        const int length = std::uniform_int_distribution<>(0, 120)(rng);
        for (int i = 0; i < length; ++i) {
            if (rng() % 2)
                line += rulePieces[rng() % std::size(rulePieces)];
            else
                appendCodePoint(line, repertoire[rng() % repertoire.size()]);
        }
        const ReflowSettings settings = unquotedSettings(
            std::uniform_int_distribution<>(1, 80)(rng), static_cast<int>(rng() % 2));
        ReflowState state;
        ASSERT_EQ(utf8(TextUpdate(line, settings, state)), utf8(reflowBytes(line, settings)))
            << "columns " << settings.Columns << " kinsoku " << settings.Kinsoku << " line «"
            << utf8(line) << "»";
    }
}

TEST(TextUpdateProperty, SampleMailBreaksAsTheBytesDo)
{
    std::ifstream file(KESTROVA_TEST_DATA "/mail-sjis-crlf.txt", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    const auto text = fromCp932(bytes);
    ASSERT_TRUE(text && !text->empty());
    for (int columns = 1; columns <= 40; ++columns) {
        for (int kinsoku = 0; kinsoku <= 1; ++kinsoku) {
            const ReflowSettings settings = unquotedSettings(columns, kinsoku);
            for (std::u16string_view line : splitLines(*text)) {
                ReflowState state;
                EXPECT_EQ(utf8(TextUpdate(line, settings, state)),
                          utf8(reflowBytes(line, settings)))
                    << "columns " << columns << " kinsoku " << kinsoku;
            }
        }
    }
}

TEST(TextUpdateProperty, AligningAnEditedAlignedTextAddsNoSecondNote)
{
    std::mt19937 rng(12);
    ReflowSettings settings;
    settings.Columns = 30;
    settings.EnterMes = std::u16string(kNote);
    ReflowState state;
    for (int round = 0; round < 300; ++round) {
        std::u16string text = u"> ";
        for (int i = 0; i < 40; ++i)
            text += kBodyPieces[rng() % std::size(kBodyPieces)];
        text += u"\r\n本文";
        const std::u16string once = TextUpdate(text, settings, state);
        // Lengthen the first quoted line again, as an edit would, and align once more.
        const std::u16string edited = u"> もう少し長くした" + once;
        const std::u16string twice = TextUpdate(edited, settings, state);
        std::size_t notes = 0;
        for (std::u16string_view line : splitLines(twice))
            notes += line == kNote;
        EXPECT_EQ(notes, 1u) << utf8(twice);
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
