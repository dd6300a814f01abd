#include "io/textcodec.h"
#include "settings/scramble.h"
#include "settings/settingsfile.h"

#include <gtest/gtest.h>
#include <random>

namespace kestrova::settings {
namespace {

using io::encodeUtf8;

// Lines as Kestrova.ini has held them since the scramble was made. A change to EasyScranble
// that alters one makes every stored pass phrase unreadable: these bytes must never change.
struct GoldenLine
{
    const char* name;
    std::u16string_view clear;
    std::string_view fileLine; // code page 932 bytes
};

constexpr GoldenLine kGoldenLines[] = {
    {"short ASCII", u"open sesame", "PassPhrase=oi@[]{E7V}c"},
    {"long ASCII", u"correct horse battery staple", "PassPhrase=c4bnn!<-+]CU\"_9!Hf%x8x%/xhGg"},
    {"every printable symbol", u" ~!@#$%^&*()_+`-=[]\\{}|;':\",./<>?",
     "PassPhrase= kqh|<$jf\\#Wsn3\"6KYRh#]on KI&q2~P"},
    // Two-byte characters keep both bytes, printable second bytes (0x70, 0x58, 0x5C) included,
    // and take no number from the sequence.
    {"two-byte characters between", u"パスword 表示", "PassPhrase=\x83p\x83Xwy`=W\x95\\\x8E\xA6"},
};

TEST(EasyScranble, WritesTheBytesStoredFilesHold)
{
    for (const GoldenLine& row : kGoldenLines) {
        SCOPED_TRACE(row.name);
        Settings settings;
        settings.PassPhrase = row.clear;
        const std::string file = formatSettings(settings, {});
        EXPECT_NE(file.find(std::string(row.fileLine) + "\r\n"), std::string::npos) << file;
    }
}

TEST(EasyScranble, ReadsThePassPhraseBackFromStoredBytes)
{
    for (const GoldenLine& row : kGoldenLines) {
        SCOPED_TRACE(row.name);
        const ParsedSettings parsed =
            parseSettings("[Settings]\r\n" + std::string(row.fileLine) + "\r\n");
        EXPECT_TRUE(parsed.notes.lines.empty());
        EXPECT_EQ(encodeUtf8(parsed.settings.PassPhrase), encodeUtf8(row.clear));
    }
}

TEST(EasyScranble, UnscramblingGivesTheTextBack)
{
    const std::u16string_view texts[] = {
        u"correct horse battery staple",
        u" ",
        u"~!@#$%^&*()_+`-=[]\\{}|;':\",./<>?",
        u"",
        u"パスワード",
        u"表示ソ能",
        u"aｱ漢😀b",
        u"with\r\nline end",
    };
    for (std::u16string_view text : texts) {
        const std::u16string scrambled = EasyScranble(text, -1);
        EXPECT_EQ(scrambled.size(), text.size());
        EXPECT_EQ(encodeUtf8(EasyScranble(scrambled, 0)), encodeUtf8(text));
    }
}

TEST(EasyScranble, RoundTripsGeneratedTexts)
{
    std::mt19937 rng(5);
    for (int round = 0; round < 1000; ++round) {
        std::u16string text;
        const int length = std::uniform_int_distribution<>(0, 40)(rng);
        for (int i = 0; i < length; ++i) {
            // Printable ASCII mostly, with kana, kanji whose second bytes are 0x40-0x7E, and
            // characters without a code page 932 form.
            const std::u16string_view extra[] = {u"ｱ", u"表", u"ソ", u"能", u"😀", u"é", u"\t"};
            if (rng() % 4 == 0)
                text += extra[rng() % std::size(extra)];
            else
                text.push_back(static_cast<char16_t>(32 + rng() % 95));
        }
        EXPECT_EQ(encodeUtf8(EasyScranble(EasyScranble(text, -1), 0)), encodeUtf8(text));
    }
}

TEST(EasyScranble, ChangesPrintableAsciiAndKeepsItPrintable)
{
    const std::u16string text = u"correct horse battery staple";
    const std::u16string scrambled = EasyScranble(text, 1);
    EXPECT_NE(scrambled, text);
    for (char16_t c : scrambled) {
        EXPECT_GE(c, 32);
        EXPECT_LE(c, 126);
    }
}

TEST(EasyScranble, LeavesTextsWithoutPrintableBytesAsTheyAre)
{
    // Half-width kana are one byte above 126; these kanji have second bytes from 0x80 up.
    for (std::u16string_view text : {u"ｱｲｳｴｵ", u"亜唖", u"\t\r\n"}) {
        EXPECT_EQ(encodeUtf8(EasyScranble(text, 1)), encodeUtf8(text));
        EXPECT_EQ(encodeUtf8(EasyScranble(text, 0)), encodeUtf8(text));
    }
}

TEST(EasyScranble, SameLengthDrawsTheSameNumbers)
{
    // Every byte of both texts is printable, so the k-th number shifts the k-th byte alike:
    // the difference between the scrambled bytes matches the difference between the inputs.
    const std::u16string a = EasyScranble(u"aaaaaaaa", 1);
    const std::u16string b = EasyScranble(u"bbbbbbbb", 1);
    for (std::size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ((b[i] - 32 + 95 - (a[i] - 32)) % 95, 1) << i;
    // A different length seeds another sequence.
    EXPECT_NE(EasyScranble(u"aaaaaaaa", 1).substr(0, 7), EasyScranble(u"aaaaaaa", 1));
}

} // namespace
} // namespace kestrova::settings
