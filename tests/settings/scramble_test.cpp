#include "test_text.h"

#include "engine/cp932.h"
#include "engine/scramble.h"

#include <gtest/gtest.h>

namespace kestrova::engine {
namespace {

using test::utf8;

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
        EXPECT_EQ(utf8(EasyScranble(scrambled, 0)), utf8(text));
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
        EXPECT_EQ(utf8(EasyScranble(text, 1)), utf8(text));
        EXPECT_EQ(utf8(EasyScranble(text, 0)), utf8(text));
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
} // namespace kestrova::engine
