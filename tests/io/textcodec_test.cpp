#include "io/textcodec.h"

#include <gtest/gtest.h>

namespace kestrova::io {
namespace {

std::string ascii(std::u16string_view text) { return {text.begin(), text.end()}; }

TEST(NormalizeLineEnds, MakesEveryKindOfLineEndTheOneAsked)
{
    const struct
    {
        const char* name;
        std::u16string_view text;
        std::string_view crlf;
        std::string_view lf;
    } rows[] = {
        {"none", u"abc", "abc", "abc"},
        {"CR LF", u"a\r\nb\r\n", "a\r\nb\r\n", "a\nb\n"},
        {"lone LF", u"a\nb", "a\r\nb", "a\nb"},
        {"lone CR", u"a\rb\r", "a\r\nb\r\n", "a\nb\n"},
        {"LF CR is two ends", u"a\n\rb", "a\r\n\r\nb", "a\n\nb"},
        {"CR CR LF is two ends", u"a\r\r\nb", "a\r\n\r\nb", "a\n\nb"},
        {"other controls stay", u"\x1a\t\f", "\x1a\t\f", "\x1a\t\f"},
        {"empty", u"", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ascii(normalizeLineEnds(row.text)), row.crlf);
        EXPECT_EQ(ascii(normalizeLineEnds(row.text, LineEnd::Lf)), row.lf);
    }
}

TEST(CodeStatus, NamesTheFamilyAndTheLineEndsCodeConvertFound)
{
    const struct
    {
        int word;
        CodeConvertResult found;
        std::string_view status;
    } rows[] = {
        {0, {CodeFamily::Sjis, LineEndKind::CrLf}, ""},
        {1, {CodeFamily::Jis, LineEndKind::CrLf}, "JIS"},
        {2, {CodeFamily::Euc, LineEndKind::CrLf}, "EUC"},
        {4, {CodeFamily::Sjis, LineEndKind::Cr}, ":CR"},
        {8, {CodeFamily::Sjis, LineEndKind::Lf}, ":LF"},
        {9, {CodeFamily::Jis, LineEndKind::Lf}, "JIS:LF"},
        {6, {CodeFamily::Euc, LineEndKind::Cr}, "EUC:CR"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.word);
        EXPECT_EQ(decodeConvertResult(row.word), row.found);
        EXPECT_EQ(codeStatus(row.found), row.status);
    }
}

TEST(CodeStatus, AgreesWithWhatCodeConvertReports)
{
    const struct
    {
        std::string_view bytes;
        std::string_view status;
    } rows[] = {
        {"\x1b$B$3\x1b(B\n", "JIS:LF"},
        {"\xa4\xe9"
         "abc\r",
         "EUC:CR"},
        {"\x82\xb1\x82\xf1\r\n", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        ByteBuffer buffer(row.bytes.begin(), row.bytes.end());
        EXPECT_EQ(codeStatus(decodeConvertResult(CodeConvert(buffer, kTargetSjis))), row.status);
    }
}

} // namespace
} // namespace kestrova::io
