#include "engine/cp932.h"
#include "io/clipboardtext.h"
#include "io/jis2sjis.h"
#include "io/textcodec.h"

#include <gtest/gtest.h>
#include <string>

namespace kestrova::io {
namespace {

std::u16string repeat(std::size_t count, char16_t c) { return std::u16string(count, c); }

std::string utf8(std::u16string_view text) { return encodeUtf8(text); }

TEST(TakeClipboardText, CutsAtTheByteLimitToWholeCharacters)
{
    const struct
    {
        const char* name;
        std::u16string text;
        std::u16string kept;
        int percent;
        bool cut;
    } rows[] = {
        {"32767 bytes whole", repeat(16383, u'あ') + u"a", repeat(16383, u'あ') + u"a", 0, false},
        {"32768 bytes lose the last", repeat(32768, u'a'), repeat(32767, u'a'), 99, true},
        {"a two-byte character across the limit goes whole", u"a" + repeat(16384, u'あ'),
         u"a" + repeat(16383, u'あ'), 99, true},
        {"40000 bytes", repeat(40000, u'x'), repeat(32767, u'x'), 81, true},
        {"an emoji counts its two columns", repeat(32766, u'x') + u"😀", repeat(32766, u'x'), 99,
         true},
        {"a line end counts its two bytes", repeat(32766, u'x') + u"\r\n",
         repeat(32766, u'x') + u"\r\n", 99, true},
        // The percentage rounds down to 0 there; the text is cut all the same.
        {"8 MB", repeat(8000000, u'x'), repeat(32767, u'x'), 0, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ClipboardIntake intake = takeClipboardText(row.text, 1);
        EXPECT_EQ(intake.text.size(), row.kept.size());
        EXPECT_TRUE(intake.text == row.kept);
        EXPECT_EQ(intake.keptPercent, row.percent);
        EXPECT_EQ(intake.cut, row.cut);
        EXPECT_FALSE(intake.converted);
    }
}

TEST(TakeClipboardText, ConvertsJisByItsFirstSignal)
{
    const struct
    {
        const char* name;
        std::u16string clipboard;
        std::u16string taken;
    } rows[] = {
        {"kanji", u"\x1b$B$3$s$K$A$O\x1b(B\n2 lines", u"こんにちは\r\n2 lines"},
        {"half-width kana by shift out", u"\x0e\x36\x40\x0f!", u"ｶﾀ!"},
        {"a return to ASCII first starts inside kanji", u"$3$s\x1b(Babc", u"こんabc"},
        {"an emoji between two kanji runs stays", u"\x1b$B$3$s\x1b(B😀\x1b$B$K$A$O\x1b(B",
         u"こん😀にちは"},
        {"an emoji inside a kanji run stays", u"\x1b$B$3$s😀$K$A$O\x1b(B", u"こん😀にちは"},
        {"a wave dash keeps its form beside JIS", u"\x1b$B$3\x1b(B〜", u"こ〜"},
        {"a final end-of-file mark goes", u"\x1b$B$3\x1b(B\x1a", u"こ"},
        // The JIS around characters it cannot hold reads as one text: what they interrupt, even a
        // broken escape, goes on after them.
        {"katakana designated by a broken escape", u"\x1b$B$3\x1b(xI1😀1", u"こxｱ😀ｱ"},
        {"kanji designated by a broken escape", u"\x0fq\x1bz$B😀$s\x1b(B", u"qz😀ん"},
        {"an escape interrupted", u"\x1b$B$3\x1b(B\x1b😀$B$s\x1b(B", u"こ😀ん"},
        {"a kanji interrupted", u"\x1b$B$3$😀s\x1b(B", u"こ😀ん"},
        {"one letter after the last", u"\x1b$B$3\x1b(Ba😀b", u"こa😀b"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ClipboardIntake intake = takeClipboardText(row.clipboard, 1);
        EXPECT_EQ(utf8(intake.text), utf8(row.taken));
        EXPECT_TRUE(intake.converted);
        EXPECT_EQ(intake.keptPercent, 0);
    }
}

TEST(TakeClipboardText, LeavesOtherTextAsItIsButForItsLineEnds)
{
    const struct
    {
        const char* name;
        std::u16string clipboard;
        int convMode;
        std::u16string taken;
    } rows[] = {
        {"every kind of line end", u"a\rb\nc\r\nd\n\re", 1, u"a\r\nb\r\nc\r\nd\r\n\r\ne"},
        {"hangul and emoji", u"한국어 😀 text", 1, u"한국어 😀 text"},
        {"no-break space", u"a\u00a0b", 1, u"a\u00a0b"},
        {"wave dash and its full-width twin", u"〜～", 1, u"〜～"},
        {"an escape that designates nothing", u"a\x1b[0mb", 1, u"a\x1b[0mb"},
        {"JIS without conversion", u"\x1b$B$3\x1b(B\n", 0, u"\x1b$B$3\x1b(B\r\n"},
        {"no cut without conversion", repeat(40000, u'x'), 0, repeat(40000, u'x')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ClipboardIntake intake = takeClipboardText(row.clipboard, row.convMode);
        EXPECT_EQ(utf8(intake.text), utf8(row.taken));
        EXPECT_FALSE(intake.converted);
        EXPECT_EQ(intake.keptPercent, 0);
    }
}

TEST(TakeClipboardText, NeverReadsTextAsEuc)
{
    // The byte detection takes the Shift_JIS form of this text for EUC; the clipboard rules
    // must not, or it comes out garbled.
    const std::u16string text = u"ｱｲｽ珈琲";
    const auto bytes = engine::toCp932(text);
    ASSERT_TRUE(bytes);
    ByteBuffer buffer(bytes->begin(), bytes->end());
    ASSERT_EQ(decodeConvertResult(CodeConvert(buffer, kTargetSjis)).family, CodeFamily::Euc);

    const ClipboardIntake intake = takeClipboardText(text, 1);
    EXPECT_EQ(utf8(intake.text), utf8(text));
    EXPECT_FALSE(intake.converted);
}

} // namespace
} // namespace kestrova::io
