#include "cli_fixtures.h"
#include "run_process.h"

#include "engine/hantozen.h"
#include "engine/quote.h"
#include "engine/reflow.h"
#include "io/textcodec.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova::test {
namespace {

const std::string kCli = KESTROVA_CLI_PATH;
const std::string kData = KESTROVA_TEST_DATA;

ProcessResult cli(const std::vector<std::string>& args, const std::string& input = {})
{
    return runProcess(kCli, args, input);
}

// Every failure: exit status 2, one line on standard error, nothing on standard output.
void expectRefused(const ProcessResult& r, const std::string& mentioned)
{
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find(mentioned), std::string::npos) << r.err;
}

TEST(CliAlign, ReflowsUtf8WithLfLineEnds)
{
    const auto r = cli({"align", "--columns", "12", "--kinsoku", "1", "--chgmode", "0"},
                       "あいうえおか。きく\nThis is a pen and that is a book.\n");
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "あいうえお\nか。きく\nThis is a \npen and that\n is a book.\n");
    EXPECT_EQ(r.err, "");
}

TEST(CliAlign, UsesTheSettingsDefaults)
{
    // Columns 70, Kinsoku 0, ChgMode 2: the break falls at the limit, the quoted tail joins
    // the next quoted line and the note follows the quotation.
    const auto r =
        cli({"align"}, "> " + std::string(40, 'a') + " " + std::string(40, 'b') + "\n> c\nbody\n");
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "> " + std::string(40, 'a') + " " + std::string(27, 'b') + "\n> " +
                         std::string(13, 'b') + "c\n（改行位置を変更しました）\nbody\n");
}

TEST(CliAlign, TakesOptionValuesInEitherForm)
{
    const auto a = cli({"align", "--columns=8", "--note="}, "> abcdefghijkl\n");
    const auto b = cli({"align", "--columns", "8", "--note", ""}, "> abcdefghijkl\n");
    EXPECT_EQ(a.exitStatus, 0) << a.err;
    EXPECT_EQ(a.out, "> abcdef\n> ghijkl\n");
    EXPECT_EQ(b.out, a.out);
}

TEST(CliAlign, AcceptsAnyColumnCountFromOneUp)
{
    EXPECT_EQ(cli({"align", "--columns", "1"}, "ab").out, "a\nb\n");
    const auto wide = cli({"align", "--columns", "99999999999999999999"}, "a b c");
    EXPECT_EQ(wide.exitStatus, 0) << wide.err;
    EXPECT_EQ(wide.out, "a b c");
}

TEST(CliAlign, DropsAByteOrderMarkAndReadsLfLineEnds)
{
    const auto r = cli({"align", "--columns", "4"}, "\xEF\xBB\xBF"
                                                    "abcdef\nあ\n");
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "abcd\nefあ\n"); // the tail joins the next line
}

// A hook or an editor re-flows a commit message: git's lines stay as they are, with whatever
// comment character git uses, from standard input and from a file alike.
TEST(CliAlign, CommentCharLeavesGitsLinesAlone)
{
    const std::string message = "fix: the long subject line\n; Please enter the message\n";
    const std::string kept = "fix: the long \nsubject line\n; Please enter the message\n";
    EXPECT_EQ(cli({"align", "--columns", "14", "--comment-char", ";"}, message).out, kept);
    EXPECT_EQ(cli({"align", "--columns", "14", "--comment-char=;"}, message).out, kept);
    EXPECT_EQ(cli({"align", "--columns", "14"}, message).out,
              "fix: the long \nsubject line; \nPlease enter t\nhe message\n");

    char name[] = "/tmp/kestrova-cli-comment-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, message.data(), message.size()), static_cast<ssize_t>(message.size()));
    close(fd);
    EXPECT_EQ(cli({"align", "--columns", "14", "--comment-char", ";", name}).out, kept);
    unlink(name);

    expectRefused(cli({"align", "--comment-char", ""}), "--comment-char");
    expectRefused(cli({"align", "--comment-char", "##"}), "one character");
    expectRefused(cli({"quote", "--comment-char", "#"}), "--comment-char");
}

TEST(CliAlign, KeepsCrLfOnRequest)
{
    EXPECT_EQ(cli({"align", "--crlf"}, "a\nb").out, "a\r\nb");
    EXPECT_EQ(cli({"align"}, "a\r\nb\r\n").out, "a\nb\n");
}

TEST(CliAlign, ReadsFileOrStandardInput)
{
    const std::string file = kData + "/mail-utf8-lf.txt";
    const auto fromFile = cli({"align", "--columns", "16", file});
    const auto fromStdin = cli({"align", "--columns", "16", "-"}, fileBytes(file));
    EXPECT_EQ(fromFile.exitStatus, 0) << fromFile.err;
    EXPECT_EQ(fromFile.out, fromStdin.out);
    EXPECT_NE(fromFile.out.find("> これは引用文で\n"), std::string::npos) << fromFile.out;
}

TEST(CliAlign, ReadsTheJapaneseCodesAlike)
{
    const auto utf8 = cli({"align", "--columns", "16", kData + "/mail-utf8-lf.txt"});
    for (const char* name : {"mail-sjis-crlf.txt", "mail-euc-lf.txt"}) {
        const auto r = cli({"align", "--columns", "16", kData + "/" + name});
        EXPECT_EQ(r.exitStatus, 0) << name << r.err;
        EXPECT_EQ(r.out, utf8.out) << name;
    }
    const auto jis =
        cli({"align", "--columns", "16", "--kinsoku", "1", kData + "/mail-jis-lf.txt"});
    EXPECT_EQ(jis.out, "> これは引用文\n> で、とても長い\n> 行です。次の\n> 行。\n"
                       "（改行位置を変更しました）\n本文です。\n");
}

TEST(CliOutputCode, WritesTheChosenCodeWithCrLf)
{
    const std::string sjis = "\x82\xA0\x82\xA2\r\nabc\r\n";
    EXPECT_EQ(cli({"align", "--output-code", "sjis"}, "あい\nabc\n").out, sjis);
    EXPECT_EQ(cli({"align", "--output-code=jis"}, "あい\nabc\n").out,
              "\x1b$B$\"$$\x1b(B\r\nabc\r\n");
    EXPECT_EQ(cli({"widen", "--output-code", "euc"}, "ｱ\n").out, "\xA5\xA2\r\n");
}

TEST(CliOutputCode, RefusesACharacterTheCodeCannotHold)
{
    expectRefused(cli({"align", "--output-code", "sjis"}, "ok\nsmile 😀\n"), "U+1F600");
    expectRefused(cli({"align", "--output-code", "sjis"}, "ok\nsmile 😀\n"), "line 2");
    // Code page 932 has the IBM extension ⅰ, ISO-2022-JP does not.
    expectRefused(cli({"quote", "--output-code", "jis"}, "ⅰ"), "U+2170");
    // UTF-8 output carries every character through.
    EXPECT_EQ(cli({"align"}, "😀𠮷〜").out, "😀𠮷〜");
}

// align moves line ends: a refusal names the line of the input that holds the character, or
// the option that brought it in.
TEST(CliOutputCode, RefusalsNameTheInputsLineOrTheOption)
{
    const std::string longQuote = "> " + [] {
        std::string s;
        for (int i = 0; i < 60; ++i)
            s += "あ";
        return s;
    }() + "\n";
    const std::string manyLines = [] {
        std::string s;
        for (int i = 1; i < 60001; ++i)
            s += "あいうえおかきくけこさしすせそ\n";
        return s;
    }();
    const struct
    {
        const char* name;
        std::vector<std::string> args;
        std::string input;
        std::string message;
    } rows[] = {
        {"AfterALongQuotedLine",
         {"align", "--columns", "20"},
         longQuote + "> b😀c\nbody\n",
         "line 2: U+1F600 has no form in Shift_JIS"},
        {"BehindManyPiecesOfFoldedLines",
         {"align", "--columns", "10"},
         manyLines + "😀\n" + manyLines,
         "line 60001: U+1F600 has no form in Shift_JIS"},
        {"InTheNote",
         {"align", "--columns", "20", "--note", "😀"},
         longQuote + "> bc\nbody\n",
         "--note: U+1F600 has no form in Shift_JIS"},
        {"InTheQuoteMark", {"quote", "--quote-chars", "😀"}, "abc\n", "--quote-chars: U+1F600"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto args = row.args;
        args.insert(args.end(), {"--output-code", "sjis"});
        const auto r = cli(args, row.input);
        expectRefused(r, row.message);
    }
}

TEST(CliQuote, QuotesAndUnquotesEveryLine)
{
    EXPECT_EQ(cli({"quote"}, "abc\ndef").out, "≫abc\n≫def");
    EXPECT_EQ(cli({"quote", "--quote-chars", " > "}, "abc\n").out, ">abc\n");
    EXPECT_EQ(cli({"unquote"}, "≫abc\ndef\n> > x").out, "abc\ndef\n > x");
    const std::string text = "line\n> quoted\n\n";
    EXPECT_EQ(cli({"unquote"}, cli({"quote"}, text).out).out, text);
}

TEST(CliWiden, WidensHalfWidthKana)
{
    EXPECT_EQ(cli({"widen"}, "ｶﾞｷﾞｸﾞ ﾊﾟ abc\n").out, "ガギグ パ abc\n");
}

TEST(CliConvert, WritesExactlyTheConvertedBytes)
{
    auto r = cli({"convert", "--to", "jis", "--report"}, "\x61\x82\xA0");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "\x61\x1b\x24\x42\x24\x22\x1b\x28\x42");
    EXPECT_EQ(r.err, "result=0\n");
    r = cli({"convert", "--to=euc"}, "\xB1");
    EXPECT_EQ(r.out, "\x8E\xB1");
    EXPECT_EQ(r.err, "");
    r = cli({"convert", "--to", "sjis", "--report"}, "abc\ndef");
    EXPECT_EQ(r.out, "abc\r\ndef");
    EXPECT_EQ(r.err, "result=8\n");
    r = cli({"convert", "--to", "sjis", "--report", kData + "/mail-jis-lf.txt"});
    EXPECT_EQ(r.err, "result=9\n");
    EXPECT_EQ(r.out.substr(0, 4), "> \x82\xB1");
}

TEST(CliConvert, ReadsUtf8AndWritesUtf8)
{
    const struct
    {
        std::vector<std::string> args;
        std::string input;
        std::string out;
        std::string err;
    } rows[] = {
        // UTF-8 input: decoded, written in the target code; family 3 in the result word.
        {{"--to", "sjis"}, "a\xE3\x81\x82\n", "a\x82\xA0\r\n", "result=11\n"},
        {{"--to", "jis"}, "\xEF\xBB\xBF\xEF\xBD\xB1\r\n", "\x1B(I1\x1B(B\r\n", "result=3\n"},
        {{"--to", "euc"}, "\xE3\x81\x82\rb", "\xA4\xA2\r\nb", "result=7\n"},
        // To UTF-8: LF line ends unless --crlf; the result word of the input as read.
        {{"--to", "utf8"}, "a\x82\xA0\r\nb", "a\xE3\x81\x82\nb", "result=0\n"},
        {{"--to", "utf8", "--crlf"}, "a\x82\xA0\nb", "a\xE3\x81\x82\r\nb", "result=8\n"},
        {{"--to", "utf8"}, "\x1B$B$\"\x1B(B\n", "\xE3\x81\x82\n", "result=9\n"},
        {{"--to", "utf8"}, "\xEF\xBB\xBF\xF0\x9F\x98\x80\n", "\xF0\x9F\x98\x80\n", "result=11\n"},
        {{"--to", "utf8"}, "", "", "result=0\n"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args{"convert", "--report"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const auto r = cli(args, row.input);
        EXPECT_EQ(r.exitStatus, 0) << row.args[1];
        EXPECT_EQ(r.out, row.out) << row.args[1];
        EXPECT_EQ(r.err, row.err) << row.args[1];
    }
    // A character the target cannot hold is refused as the text commands refuse it.
    expectRefused(cli({"convert", "--to", "sjis"}, "ok\n\xF0\x9F\x98\x80\n"),
                  "line 2: U+1F600 has no form in Shift_JIS");
    expectRefused(cli({"convert", "--to", "jis"}, "\xE2\x85\xB0\n"), "U+2170");
    expectRefused(cli({"convert", "--to", "utf8"}, "abc\r\n\xFF\xFE\r\n"), "line 2: byte 0xFE");
}

TEST(CliDetect, PrintsTheStatusOfAFileRead)
{
    const std::pair<const char*, const char*> rows[] = {
        {"mail-jis-lf.txt", "JIS:LF\n"},    {"mail-euc-lf.txt", "EUC:LF\n"},
        {"mail-utf8-lf.txt", "UTF-8:LF\n"}, {"mail-sjis-cr.txt", ":CR\n"},
        {"mail-sjis-crlf.txt", "\n"},
    };
    for (const auto& [name, status] : rows)
        EXPECT_EQ(cli({"detect", kData + "/" + name}).out, status) << name;
    EXPECT_EQ(cli({"detect"}, "\x1b$B$\"\x1b(B").out, "JIS\n");
    EXPECT_EQ(cli({"detect"}, "").out, "\n");
    // The window reads plain ASCII as UTF-8; detect still says what the code detection finds.
    EXPECT_EQ(cli({"detect"}, "# plain ASCII\n").out, ":LF\n");
    EXPECT_EQ(cli({"detect"}, "plain\r\n").out, "\n");
}

TEST(CliErrors, BadCommandLinesAreRefused)
{
    expectRefused(cli({}), "no command");
    expectRefused(cli({"reflow"}), "unknown command 'reflow'");
    expectRefused(cli({"align", "--width", "3"}), "--width");
    expectRefused(cli({"align", "--to", "jis"}), "--to"); // convert's option
    expectRefused(cli({"widen", "--columns", "3"}),
                  "--columns"); // align's option
    expectRefused(cli({"align", "--columns", "0"}), "--columns");
    expectRefused(cli({"align", "--columns", "x"}), "--columns");
    expectRefused(cli({"align", "--columns", "-5"}), "--columns");
    expectRefused(cli({"align", "--columns"}), "needs a value");
    expectRefused(cli({"align", "--kinsoku", "2"}), "--kinsoku");
    expectRefused(cli({"align", "--chgmode", "3"}), "--chgmode");
    expectRefused(cli({"align", "--output-code", "latin1"}), "--output-code");
    expectRefused(cli({"align", "--crlf=1"}), "--crlf");
    expectRefused(cli({"convert"}), "--to");
    expectRefused(cli({"convert", "--to", "latin1"}), "--to");
    expectRefused(cli({"align", "a.txt", "b.txt"}), "more than one FILE");
}

TEST(CliErrors, UnreadableInputIsRefused)
{
    expectRefused(cli({"align", kData + "/no-such-file.txt"}), "no-such-file.txt");
    expectRefused(cli({"detect", kData}), "folder");
    // 0x80 is neither UTF-8 nor a character of the Japanese codes.
    expectRefused(cli({"align"}, "ok\n\x80"
                                 "abc\n"),
                  "line 2");
}

TEST(CliLargeInput, GivesWhatTheEngineGivesForTheWholeText)
{
    // Well over the filter's piece size, with quoted paragraphs whose tails and
    // notes cross from piece to piece.
    std::u16string text;
    for (int i = 0; text.size() < 900000; ++i) {
        const std::u16string word = (i % 3 == 0) ? u"引用文の続きです。" : u"word ｶﾀｶﾅ ";
        text += (i % 7 < 3) ? u"> " : u"";
        for (int k = 0; k < 1 + i % 23; ++k)
            text += word;
        text += (i % 11 == 0) ? u"\r\n\r\n" : u"\r\n";
    }
    const std::string input = io::encodeUtf8(io::crLfToLf(text));

    engine::ReflowSettings settings;
    engine::ReflowState state;
    const std::string aligned =
        io::encodeUtf8(io::crLfToLf(engine::TextUpdate(text, settings, state)));
    EXPECT_EQ(cli({"align"}, input).out, aligned);
    // The text ends in a line end: the empty piece after it gets no quote mark.
    std::u16string quoted = engine::quoteText(text, settings.Inyofu);
    ASSERT_EQ(quoted.substr(quoted.size() - 1), u"≫");
    quoted.pop_back();
    EXPECT_EQ(cli({"quote"}, input).out, io::encodeUtf8(io::crLfToLf(quoted)));
    EXPECT_EQ(cli({"unquote"}, input).out,
              io::encodeUtf8(io::crLfToLf(engine::unquoteText(text, settings.Inyofu))));
    EXPECT_EQ(cli({"widen"}, input).out, io::encodeUtf8(io::crLfToLf(engine::widenKana(text))));
}

TEST(CliQuote, TheFinalLineEndBeginsNoLineOfItsOwn)
{
    const std::pair<std::string, std::string> rows[] = {
        {"abc\n", "≫abc\n"},
        {"abc\r\n", "≫abc\n"},
        {"abc\ndef\n", "≫abc\n≫def\n"},
        {"abc\n\n", "≫abc\n≫\n"}, // an empty line before the final line end is a line
        {"\n", "≫\n"},
        {"abc", "≫abc"}, // no final line end: the last line stays without one
        {"", "≫"},       // as the window quotes an empty text
    };
    for (const auto& [input, expected] : rows) {
        const auto r = cli({"quote"}, input);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.out, expected) << "input «" << input << "»";
    }
    EXPECT_EQ(cli({"quote", "--crlf"}, "abc\r\n").out, "≫abc\r\n");
    EXPECT_EQ(cli({"quote", "--output-code", "sjis"}, "abc\n").out, "\x81\xe2"
                                                                    "abc\r\n");
}

TEST(CliErrors, RefusalsNameTheInputsOwnLineAndBytes)
{
    std::string fiftyLines;
    for (int i = 1; i <= 50; ++i)
        fiftyLines += "日本語の行 " + std::to_string(i) + "\n";
    struct Row
    {
        const char* name;
        std::string input;
        const char* line;
        const char* bytes;
    };
    const Row rows[] = {
        {"Utf8Surrogate", "日本語\xed\xa0\x80テキスト\n", "line 1:", "byte 0xED "},
        {"Utf8BadByteOnLine51", fiftyLines + "bad \xff here\n", "line 51:", "byte 0xFF "},
        {"Utf8CrLineEnds", "あ\rい\rう\xc3(\r", "line 3:", "byte 0xC3 "},
        {"ByteOrderMarkThenGarbage",
         "\xEF\xBB\xBF"
         "abc\n\x80\x81"
         "def\n",
         "line 2:", "byte 0x80 "},
        {"ShiftJisStrayByte",
         "\x82\xa0\n\x82\xa2\nab\xa0"
         "c\n",
         "line 3:", "byte 0xA0 "},
        {"ShiftJisCrLineEnds",
         "\x82\xa0\r\x82\xa2\rab\x80"
         "c\r",
         "line 3:", "byte 0x80 "},
        {"ShiftJisUnassignedPair", "\x82\xa0\r\n\x85\x40\r\n", "line 2:", "bytes 0x85 0x40 "},
        {"EucUnassignedPair", "\xc6\xfc\xcb\xdc\n\xa4\xa2\xa9\xa1\n",
         "line 2:", "bytes 0xA9 0xA1 "},
        {"JisUnassignedPair", "\x1b$B\x46\x7c\x1b(B\nab\x1b$B\x29\x21\x1b(B\n",
         "line 2:", "bytes 0x29 0x21 "},
        // Damage the readers would pass on as characters of their own is refused too.
        {"Utf8LastCharacterCutOff", "あ\n\xe3\x81\n", "line 2:", "bytes 0xE3 0x81 "},
        {"Utf8CutOffWithoutALineEnd", "日本語\n\xe6\x97", "line 2:", "bytes 0xE6 0x97 "},
        {"JisBrokenKanjiRunLeavesAnEscape", "\x1b$B$3$l\x1b(B\n\x1b$B$3\xff\x1b(B\n",
         "line 2:", "byte 0x1B "},
        {"JisUnknownDesignation", "\x1b$B$3$l\x1b(B\n\x1b$(D$3\x1b(B\n", "line 2:", "byte 0x1B "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const char* command : {"align", "widen"}) {
            const auto r = cli({command}, row.input);
            expectRefused(r, row.line);
            EXPECT_NE(r.err.find(row.bytes), std::string::npos) << r.err;
        }
        expectRefused(cli({"convert", "--to", "utf8"}, row.input), row.line);
    }
}

TEST(CliByteOrderMark, OnlyTheOneAtTheVeryStartIsRemoved)
{
    const std::string bom = "\xEF\xBB\xBF";
    EXPECT_EQ(cli({"widen"}, bom + bom + "a\n").out, bom + "a\n");
    EXPECT_EQ(cli({"align"}, bom + "a\n" + bom + "b\n").out, "a\n" + bom + "b\n");
    // Every line of a text several pieces long begins with U+FEFF: wherever a
    // piece begins, the character stays.
    std::string text = "start\n";
    while (text.size() < 900000)
        text += bom + "行の初めに U+FEFF があります。\n";
    for (const char* command : {"widen", "unquote", "align"}) {
        const auto r = cli({command}, text);
        EXPECT_EQ(r.exitStatus, 0) << command << r.err;
        EXPECT_TRUE(r.out == text) << command << ": the output differs";
    }
}

// TMPDIR, as the programs started in its scope see it.
class TmpdirSetting
{
public:
    explicit TmpdirSetting(const std::string& value)
    {
        if (const char* old = std::getenv("TMPDIR"))
            m_old = old;
        ::setenv("TMPDIR", value.c_str(), 1);
    }
    ~TmpdirSetting()
    {
        if (m_old)
            ::setenv("TMPDIR", m_old->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    TmpdirSetting(const TmpdirSetting&) = delete;
    TmpdirSetting& operator=(const TmpdirSetting&) = delete;

private:
    std::optional<std::string> m_old;
};

// Some 3 MB of quoted and plain lines; the last block read from a pipe is a short one.
const std::string& severalMegabytes()
{
    static const std::string text = [] {
        std::string t;
        for (int i = 0; t.size() < (3u << 20) + 12345; ++i) {
            t += (i % 5 < 2) ? "> " : "";
            for (int k = 0; k <= i % 4; ++k)
                t += "これは長い日本語の文章です。quoted ｶﾀｶﾅ and words to fold. ";
            t += "\n";
        }
        return t;
    }();
    return text;
}

// Piped input is copied to an unnamed file in TMPDIR and read from there.
TEST(CliPipedInput, GivesTheBytesOfTheSameFileNamed)
{
    TempFolder folder;
    const std::string file = folder.path + "/input.txt";
    writeFile(file, severalMegabytes());
    const TmpdirSetting tmpdir(folder.path);
    const std::vector<std::string> commands[] = {
        {"align"}, {"convert", "--to", "utf8"}, {"convert", "--to", "sjis"}, {"quote"}};
    for (const auto& args : commands) {
        auto named = args;
        named.push_back(file);
        const auto fromFile = cli(named);
        const auto piped = cli(args, severalMegabytes());
        ASSERT_EQ(fromFile.exitStatus, 0) << args[0] << fromFile.err;
        EXPECT_EQ(piped.exitStatus, 0) << args[0] << piped.err;
        EXPECT_TRUE(piped.out == fromFile.out) << args.back() << ": the outputs differ";
        EXPECT_GT(piped.out.size(), severalMegabytes().size() / 2) << args.back();
        // The copy has no name: nothing is left behind.
        EXPECT_EQ(folder.names(), std::vector<std::string>{"input.txt"});
    }
}

// Where the copy cannot be made or filled, the rest is read into memory after what the copy
// already holds.
TEST(CliPipedInput, GoesOnWhereNoTemporaryFileCanBeWritten)
{
    TempFolder folder;
    const std::string file = folder.path + "/input.txt";
    writeFile(file, severalMegabytes());
    const auto expected = cli({"align", file});
    ASSERT_EQ(expected.exitStatus, 0) << expected.err;
    const struct
    {
        const char* name;
        std::string tmpdir;
        std::size_t fileSize; // the largest file the run may write; 0 for no limit
    } rows[] = {
        {"TmpdirMissing", folder.path + "/missing", 0},
        {"TmpdirIsAFile", file, 0},
        {"NoRoomBeyondOneByte", folder.path, 1},
        {"FullHalfWayThroughABlock", folder.path, (3u << 19) + 4321},
        {"FullAtTheEndOfABlock", folder.path, 2u << 20},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const TmpdirSetting tmpdir(row.tmpdir);
        ProcessLimits limits;
        limits.fileSize = row.fileSize;
        const auto r = runProcess(kCli, {"align"}, severalMegabytes(), limits);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out == expected.out) << "the output differs";
        EXPECT_EQ(folder.names(), std::vector<std::string>{"input.txt"});
    }
}

TEST(CliPipedInput, GoesOnWhereTheTemporaryFolderIsReadOnly)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write into a read-only folder";
    TempFolder folder;
    const std::string file = folder.path + "/input.txt";
    writeFile(file, severalMegabytes());
    const std::string readOnly = folder.path + "/read-only";
    ASSERT_EQ(::mkdir(readOnly.c_str(), 0555), 0);
    const TmpdirSetting tmpdir(readOnly);
    const auto r = cli({"quote"}, severalMegabytes());
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(r.out == cli({"quote", file}).out) << "the output differs";
}

// Such a file is read as a pipe is, to its end.
TEST(CliInput, ReadsAFileWhoseSizeSaysNothing)
{
    TempFolder folder;
    const std::string empty = folder.path + "/empty.txt";
    writeFile(empty, "");
    for (const std::string& file : {empty, std::string("/proc/version")}) {
        const auto r = cli({"quote", file});
        EXPECT_EQ(r.exitStatus, 0) << file << r.err;
        EXPECT_EQ(r.out, cli({"quote"}, fileBytes(file)).out) << file;
        EXPECT_GT(r.out.size(), fileBytes(file).size()) << file; // each line quoted
    }
}

TEST(CliMemory, InputTooLargeForTheMemoryIsRefusedInOneLine)
{
    if (cliRunsUnderAddressSanitizer())
        GTEST_SKIP() << "an address-space limit does not work under AddressSanitizer";
    std::string text;
    while (text.size() < (48u << 20))
        text += "> これは引用文で、とても長い行です。quoted text ｶﾀｶﾅ 1234\n";
    ProcessLimits limits;
    limits.addressSpace = 160u << 20;
    limits.fileSize = 8u << 20; // the copy of the endless input stops there and goes on in memory
    const auto endless = runProcess(kCli, {"align", "/dev/zero"}, {}, limits);
    expectRefused(endless, "too large for the memory available");
    EXPECT_EQ(endless.err.find("bad_alloc"), std::string::npos) << endless.err;
    // A text of a third of the limit passes: only the input itself is held
    // whole, the work goes piece by piece.
    const auto large = runProcess(kCli, {"quote"}, text, limits);
    EXPECT_EQ(large.exitStatus, 0) << large.err;
    EXPECT_EQ(std::count(large.out.begin(), large.out.end(), '\n'),
              std::count(text.begin(), text.end(), '\n'));
    EXPECT_GT(large.out.size(), text.size());
    // The same text goes through when the memory suffices.
    const auto done = runProcess(kCli, {"quote"}, "abc\n", limits);
    EXPECT_EQ(done.exitStatus, 0) << done.err;
}

TEST(CliHelp, ExplainsItselfAndItsVersion)
{
    const auto help = cli({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("kestrova-cli COMMAND"), std::string::npos);
    EXPECT_EQ(cli({"align", "--help"}).out, help.out);
    const auto version = cli({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_NE(version.out.find("1.7.0.0"), std::string::npos);
    EXPECT_NE(version.out.find("Kestrova for Linux"), std::string::npos);
}

} // namespace
} // namespace kestrova::test
