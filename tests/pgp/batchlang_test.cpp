#include "pgp/batchlang.h"

#include <gtest/gtest.h>

namespace {

using namespace kestrova::pgp;

// Values a user could type as a user ID, a recipient or a pass phrase.
const std::string kHostile[] = {
    "plain",
    "",
    "two words",
    "quote \" inside",
    "\"",
    "\"\"",
    "ends with quote\"",
    "%PATH%",
    "100%",
    "%%",
    "a > /tmp/kestrova-injected",
    "x & rm -rf ~ | tee y < z",
    "\" > /tmp/kestrova-injected & \"",
    "日本語のID <ja@example.jp>",
    "tab\there",
    "-z\"stolen\"",
};

std::vector<std::string> texts(const ProgramLine& line)
{
    std::vector<std::string> words;
    for (const auto& word : line.words)
        words.emplace_back(view(word.text));
    return words;
}

TEST(QuoteArgument, EveryValueReadsBackAsExactlyOneWord)
{
    const Variables variables = {{"PATH", "/usr/bin"}};
    for (const auto& value : kHostile) {
        SCOPED_TRACE(value);
        const std::string line = "PGP.EXE -kr " + quoteArgument(value) + " > out.txt";
        const auto program = splitProgramLine(view(expandVariables(line, variables)));
        ASSERT_TRUE(program) << program.error().reason;
        ASSERT_EQ(program->words.size(), 3u);
        EXPECT_EQ(view(program->words[2].text), value);
        EXPECT_TRUE(program->words[2].quoted);
        EXPECT_EQ(program->redirect, "out.txt");
    }
}

TEST(PathArgument, KeepsPlainPathsAsTheyStandAndQuotesOthers)
{
    EXPECT_EQ(pathArgument("/tmp/kestrova-0/Kestrova.tmp"), "/tmp/kestrova-0/Kestrova.tmp");
    EXPECT_EQ(pathArgument("/tmp/my files/K.tmp"), "\"/tmp/my files/K.tmp\"");
    EXPECT_EQ(pathArgument("/tmp/100%/K.tmp"), "/tmp/100%%/K.tmp");
    const Variables none;
    for (const std::string path : {"/tmp/a b/K.tmp", "/tmp/a>b/K.tmp", "/tmp/a\"b&c|d%e/K"}) {
        const auto program =
            splitProgramLine(view(expandVariables("PGP.EXE " + pathArgument(path), none)));
        ASSERT_TRUE(program) << program.error().reason;
        EXPECT_EQ(texts(*program), (std::vector<std::string>{"PGP.EXE", path}));
    }
}

TEST(LineBreakIn, FindsWhatNoLineCanCarry)
{
    EXPECT_EQ(lineBreakIn("a\nb"), '\n');
    EXPECT_EQ(lineBreakIn("a\rb"), '\r');
    EXPECT_EQ(lineBreakIn(std::string_view("a\0b", 3)), '\0');
    EXPECT_FALSE(lineBreakIn("a \"%>&| b"));
}

TEST(ExpandVariables, ReplacesNamesAndDoubledPercents)
{
    const Variables variables = {{"PATH", "/bin"}, {"Mixed", "m"}};
    struct Row
    {
        const char* line;
        const char* expanded;
    } rows[] = {
        {"SET PATH=/g;%PATH%", "SET PATH=/g;/bin"},
        {"%path%", "/bin"},
        {"%MIXED%", "m"},
        {"%UNSET%x", "x"},
        {"100%%", "100%"},
        {"a % b", "a  b"},
        {"lone %", "lone "},
    };
    for (const auto& row : rows)
        EXPECT_EQ(view(expandVariables(row.line, variables)), row.expanded) << row.line;
}

TEST(SplitProgramLine, RefusesWhatTheRunnerNeverWrites)
{
    const char* lines[] = {
        "PGP.EXE \"open", "PGP.EXE > a > b", "PGP.EXE >",     "PGP.EXE a | b",
        "PGP.EXE a & b",  "PGP.EXE < in",    "PGP.EXE > a b",
    };
    for (const char* line : lines) {
        const auto program = splitProgramLine(line);
        ASSERT_FALSE(program) << line;
        EXPECT_FALSE(program.error().reason.empty()) << line;
    }
}

} // namespace
