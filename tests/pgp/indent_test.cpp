#include "pgp/indent.h"

#include <gtest/gtest.h>

namespace {

using kestrova::pgp::AddIndent;
using kestrova::pgp::CutIndent;

struct IndentRow
{
    const char* name;
    std::u16string text;
    int width;
    std::u16string cut;   // after CutIndent
    std::u16string added; // after AddIndent of the cut text
};

TEST(CutIndent, RemovesTheCommonIndentAndAddIndentPutsItBack)
{
    const IndentRow rows[] = {
        {"two spaces everywhere", u"  a\r\n  b\r\n", 2, u"a\r\nb\r\n", u"  a\r\n  b\r\n"},
        {"least indented line decides", u"    a\r\n  b\r\n   c", 2, u"  a\r\nb\r\n c",
         u"    a\r\n  b\r\n   c"},
        {"empty lines stay empty", u"  a\r\n\r\n  b", 2, u"a\r\n\r\nb", u"  a\r\n\r\n  b"},
        {"a line of exactly the indent comes back empty", u"  a\r\n  \r\n  b\r\n", 2,
         u"a\r\n\r\nb\r\n", u"  a\r\n\r\n  b\r\n"},
        {"no indent on one line", u"  a\r\nb\r\n", 0, u"  a\r\nb\r\n", u"  a\r\nb\r\n"},
        {"a tab is no indentation", u"\t a\r\n", 0, u"\t a\r\n", u"\t a\r\n"},
        {"full-width space is no indentation", u"　a\r\n", 0, u"　a\r\n", u"　a\r\n"},
        {"a lone LF does not end a line", u"  a\n b\r\n  c", 2, u"a\n b\r\nc", u"  a\n b\r\n  c"},
        {"empty text", u"", 0, u"", u""},
        {"only line ends: the width stays the length, nothing moves", u"\r\n\r\n", 4, u"\r\n\r\n",
         u"\r\n\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::u16string text = row.text;
        const int width = CutIndent(text);
        EXPECT_EQ(width, row.width);
        EXPECT_EQ(text, row.cut);
        AddIndent(text, width);
        EXPECT_EQ(text, row.added);
    }
}

TEST(AddIndent, WidthBelowOneChangesNothing)
{
    std::u16string text = u"a\r\n\r\nb";
    AddIndent(text, 0);
    EXPECT_EQ(text, u"a\r\n\r\nb");
    AddIndent(text, -3);
    EXPECT_EQ(text, u"a\r\n\r\nb");
}

} // namespace
