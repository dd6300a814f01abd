// The piece-by-piece path against the whole-input one: the same bytes, the same refusals, the
// same result word, for every input, command and piece size.
#include "cli_fixtures.h"
#include "wholepath.h"

#include "engine/cp932.h"
#include "io/textcodec.h"
#include "stream/pipeline.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

namespace kestrova::stream {
namespace {

using test::fileBytes;

struct Sample
{
    std::string name;
    std::string bytes;
};

// Text made of Japanese prose, quotations, half-width katakana and the characters that take
// the odd paths: the user area, the NEC and IBM rows, characters outside code page 932.
std::string generatedText(unsigned seed, std::size_t size, bool withUnmapped)
{
    static const char* const kPieces[] = {"これは日本語の文章です。",
                                          "「かぎかっこ」と（括弧）",
                                          "> 引用された行です",
                                          "ｶﾀｶﾅﾃﾞｽ｡",
                                          "English words and more words ",
                                          "ー～・？！",
                                          "①②Ⅰⅱ",
                                          "\xE2\x85\xB0",
                                          "　全角空白",
                                          "a",
                                          "、。",
                                          "\xEE\x80\x80",
                                          "￤＇＂"};
    static const char* const kUnmapped[] = {"😀", "한국어", "é", "\xC2\xA5"};
    static const char* const kEnds[] = {"\n", "\r\n", "\r"};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        const auto pick = random() % 40;
        if (pick < 4)
            text += kEnds[random() % (pick == 0 ? 3 : 1)];
        else if (withUnmapped && pick == 4)
            text += kUnmapped[random() % std::size(kUnmapped)];
        else
            text += kPieces[random() % std::size(kPieces)];
    }
    return text;
}

// The same text in another code, through the whole path's own converter: by way of Shift_JIS,
// whose characters outside JIS X 0208 become the geta mark in JIS and EUC-JP.
std::string encoded(const std::string& utf8, const char* to)
{
    const auto convert = [](const std::string& bytes, int target) {
        Task o;
        o.command = Command::Convert;
        o.convertTo = target;
        StringOutput out;
        const RunResult r = runWhole(o, bytes, out);
        return r.exitStatus == kExitDone ? out.text : std::string();
    };
    const std::string sjis = convert(utf8, 0);
    const std::string code = to;
    return code == "sjis" ? sjis : convert(sjis, code == "jis" ? 1 : 2);
}

std::vector<Sample> samples()
{
    std::vector<Sample> all;
    for (const char* dir : {KESTROVA_TEST_DATA, KESTROVA_FUZZ_CORPUS}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
            if (entry.is_regular_file())
                all.push_back({entry.path().filename().string(), fileBytes(entry.path())});
        }
    }
    for (unsigned seed = 1; seed <= 4; ++seed) {
        const std::string text = generatedText(seed, 3000 * seed, seed % 2 == 0);
        all.push_back({"generated-utf8-" + std::to_string(seed), text});
        all.push_back({"generated-bom-" + std::to_string(seed), "\xEF\xBB\xBF" + text + "\x1A"});
        for (const char* code : {"sjis", "jis", "euc"}) {
            all.push_back({"generated-" + std::string(code) + "-" + std::to_string(seed),
                           encoded(generatedText(seed, 3000 * seed, false), code)});
            EXPECT_FALSE(all.back().bytes.empty()) << all.back().name;
        }
    }
    // Damage: stray lead bytes, a final lead byte, an end-of-file mark, bytes of no code.
    all.push_back({"split-pair", "abc\x82\r\n\xA0xyz\r\n"});
    all.push_back({"final-lead", "abc\r\n\x82"});
    all.push_back({"eof-mark", "abc\r\n\x82\xA0\x1A"});
    all.push_back({"bad-byte", "abc\r\n\xFF\xFE\r\n"});
    all.push_back({"lone-ends", "a\rb\nc\r\n\r\r\n\n"});
    all.push_back({"kana and kanji by turns", std::string(200, 'x') + "\n" + [] {
                       std::string s;
                       for (int i = 0; i < 100; ++i)
                           s += "ｱあ";
                       return s;
                   }()});
    // JIS detected behind bytes that read as half-width katakana, with NULs in the kanji run.
    all.push_back(
        {"jis after kana",
         std::string("EDD\xD5\xD5\xD5\xD5\xD5\xD5\xD5\xDD\xD5\xD5\xD5\xD5\xD5\x14\x03\x02> "
                     "\x1B$B$3$l$O0z\0\0\0\0\0\0\0\xD5\xD5\xD5\xD5\xD5\xD5\xD5\xD5\xD5"
                     "DDDDDDDDDDDDD\0\0D",
                     64)});
    // Damage pieces after a character without a form (the note): in JIS the damage is named all
    // the same, in Shift_JIS whichever comes first. The JIS text is long enough for the note's
    // piece to be worked before the damage is read.
    all.push_back(
        {"jis damaged after many pieces",
         encoded(generatedText(5, 3 * kPieceBytes, false), "jis") + "\x1B$B$3\xFF\x1B(B\n"});
    all.push_back({"shift_jis damaged after many pieces",
                   encoded(generatedText(6, 3 * kPieceBytes / 2, false), "sjis") + "\x85\x40\r\n"});
    all.push_back({"empty", ""});
    all.push_back({"bom-only", "\xEF\xBB\xBF"});
    return all;
}

std::vector<std::pair<std::string, Task>> commandLines()
{
    std::vector<std::pair<std::string, Task>> all;
    const auto add = [&](std::string name, Command command, auto&& adjust) {
        Task o;
        o.command = command;
        adjust(o);
        all.emplace_back(std::move(name), o);
    };
    for (int kinsoku : {0, 1}) {
        for (auto code : {io::OutputCode::Utf8, io::OutputCode::Sjis, io::OutputCode::Jis,
                          io::OutputCode::Euc}) {
            add("align k" + std::to_string(kinsoku) + " code " +
                    std::to_string(static_cast<int>(code)),
                Command::Align, [&](Task& o) {
                    o.settings.Kinsoku = kinsoku;
                    o.settings.Columns = 20 + 17 * kinsoku;
                    o.outputCode = code;
                });
        }
    }
    add("align crlf", Command::Align, [](Task& o) { o.crlf = true; });
    add("align note without a form", Command::Align, [](Task& o) {
        o.settings.EnterMes = u"😀";
        o.outputCode = io::OutputCode::Sjis;
    });
    add("quote", Command::Quote, [](Task&) {});
    add("unquote jis", Command::Unquote, [](Task& o) { o.outputCode = io::OutputCode::Jis; });
    add("widen euc", Command::Widen, [](Task& o) { o.outputCode = io::OutputCode::Euc; });
    for (int to = 0; to <= kConvertToUtf8; ++to) {
        add("convert " + std::to_string(to), Command::Convert, [&](Task& o) { o.convertTo = to; });
    }
    add("convert utf8 crlf", Command::Convert, [](Task& o) {
        o.convertTo = kConvertToUtf8;
        o.crlf = true;
    });
    return all;
}

TEST(Pipeline, GivesTheWholePathsBytesRefusalsAndResult)
{
    const auto inputs = samples();
    ASSERT_GT(inputs.size(), 40u);
    for (const auto& [commandName, o] : commandLines()) {
        for (const Sample& sample : inputs) {
            StringOutput whole;
            const RunResult expected = runWhole(o, sample.bytes, whole);
            // Output held to the end, held for a while, and held not at all.
            for (auto [piece, held] :
                 {std::pair{std::size_t{1}, kHeldBytes}, std::pair{std::size_t{5}, std::size_t{0}},
                  std::pair{std::size_t{64}, std::size_t{100}},
                  std::pair{kPieceBytes, kHeldBytes}}) {
                StringOutput pieces;
                const RunResult got = runPipeline(
                    o, sample.bytes, pieces, [piece] { return piece; }, {}, held);
                SCOPED_TRACE(commandName + " on " + sample.name + ", pieces of " +
                             std::to_string(piece) + ", " + std::to_string(held) + " held");
                EXPECT_EQ(got.exitStatus, expected.exitStatus);
                EXPECT_EQ(got.error, expected.error);
                EXPECT_EQ(got.resultWord, expected.resultWord);
                EXPECT_TRUE(pieces.text == whole.text);
                if (expected.exitStatus != kExitDone) {
                    EXPECT_EQ(pieces.text, ""); // a refusal writes nothing
                }
            }
        }
    }
}

// detect reads the input in pieces and says what the window's reader and the whole-buffer
// converter say of it.
TEST(Pipeline, DetectSaysWhatTheWholeConverterSays)
{
    for (const Sample& sample : samples()) {
        if (io::isUtf8Text(sample.bytes)) {
            EXPECT_EQ(detectStatus(sample.bytes), io::decodeText(sample.bytes, true)->status)
                << sample.name;
            continue;
        }
        io::ByteBuffer bytes(sample.bytes.begin(), sample.bytes.end());
        EXPECT_EQ(detectStatus(sample.bytes),
                  io::codeStatus(io::decodeConvertResult(io::CodeConvert(bytes, io::kTargetSjis))))
            << sample.name;
    }
}

// Every code goes piece by piece: once no more output may be held back, the second piece is
// written while the last pass over the input is still at its beginning, and the input is
// reported used up piece after piece.
TEST(Pipeline, WritesEachPieceWhenItIsReady)
{
    struct Recorder : Output
    {
        bool write(std::string_view bytes) override
        {
            if (writes++ == 1)
                secondWriteAt = consumedUpTo;
            text.append(bytes);
            return true;
        }
        std::size_t consumedUpTo = 0;
        std::size_t secondWriteAt = 0;
        std::size_t writes = 0;
        std::string text;
    };
    const struct
    {
        const char* file;
        Command command;
        int convertTo;
    } rows[] = {
        {"mail-sjis-crlf.txt", Command::Align, 0},
        {"mail-sjis-cr.txt", Command::Align, 0},
        {"mail-utf8-lf.txt", Command::Align, 0},
        {"mail-euc-lf.txt", Command::Align, 0},
        {"mail-jis-lf.txt", Command::Quote, 0},
        {"mail-sjis-crlf.txt", Command::Convert, io::kTargetJis},
        {"mail-utf8-lf.txt", Command::Convert, io::kTargetSjis},
        {"mail-euc-lf.txt", Command::Convert, io::kTargetSjis},
        {"mail-jis-lf.txt", Command::Convert, kConvertToUtf8},
        {"mail-sjis-cr.txt", Command::Convert, kConvertToUtf8},
    };
    for (const auto& row : rows) {
        Task o;
        o.command = row.command;
        o.convertTo = row.convertTo;
        const std::string mail = fileBytes(std::string(KESTROVA_TEST_DATA) + "/" + row.file);
        ASSERT_FALSE(mail.empty());
        std::string bytes;
        while (bytes.size() < 20000)
            bytes += mail;
        Recorder out;
        std::size_t reports = 0;
        const RunResult r = runPipeline(
            o, bytes, out, [] { return std::size_t{10}; },
            [&](std::size_t upTo) {
                out.consumedUpTo = upTo;
                ++reports;
            },
            0);
        SCOPED_TRACE(std::string(row.file) + " convertTo " + std::to_string(row.convertTo));
        EXPECT_EQ(r.exitStatus, kExitDone);
        EXPECT_GT(out.writes, bytes.size() / 100);
        EXPECT_LT(out.secondWriteAt, bytes.size() / 2);
        EXPECT_GT(reports, bytes.size() / 100);
        StringOutput whole;
        static_cast<void>(runWhole(o, bytes, whole));
        EXPECT_TRUE(out.text == whole.text);
    }
}

// The UTF-8 rule every path shares, around the shortcuts the classification takes.
TEST(Pipeline, ReadsUtf8ByTheOneRule)
{
    const std::pair<std::string, bool> rows[] = {
        {"plain ASCII, more than eight bytes", false},
        {"\xEF\xBB\xBF", true},
        {"abcdefgh\xE3\x81\x82", true},
        {"abcdefgh\xE3\x81", false},          // cut short at the end
        {"\xE0\x80\x80", false},              // overlong
        {"\xE0\xA0\x80", true},               // the first three-byte character
        {"\xED\x9F\xBF", true},               // just below the surrogates
        {"\xED\xA0\x80", false},              // a surrogate
        {"\xEF\xBF\xBF", true},               // the last three-byte character
        {"\xE3\x81\x82\xE3\x81", false},      // the second one cut short: refused
        {"\xE3\xC1\x82", false},              // no continuation byte
        {"\xF0\x9F\x98\x80", true},           // four bytes
        {"\xF4\x90\x80\x80", false},          // beyond U+10FFFF
        {"\xC0\x80", false},                  // overlong two bytes
        {"12345678901234567\x82\xA0", false}, // Shift_JIS after a long ASCII run
        {"1234567\xE3\x81\x82"
         "89abcdefg",
         true},                                         // across an eight-byte step
        {std::string(200, 'a') + "\xE3\x81\x82", true}, // behind blocks of 64 bytes
        {std::string(130, 'a') + "\x82\xA0", false},
        {std::string(3u << 20, 'a'), false}, // ASCII throughout, megabytes of it
        {std::string(3u << 20, 'a') + "\xC3\xA9", true},
    };
    for (const auto& [bytes, utf8] : rows) {
        EXPECT_EQ(io::isUtf8Text(bytes), utf8) << testing::PrintToString(bytes);
        // The pipeline reads UTF-8 in a pass of its own; the result tells how it read it.
        Task o;
        o.command = Command::Convert;
        o.convertTo = kConvertToUtf8;
        StringOutput out;
        const RunResult r = runPipeline(o, bytes, out);
        // UTF-8 converts to UTF-8 whatever it holds; what else is refused has no result word.
        if (r.exitStatus == kExitDone)
            EXPECT_EQ(r.resultWord & 3, utf8 ? 3 : 0) << testing::PrintToString(bytes);
        else
            EXPECT_FALSE(utf8) << testing::PrintToString(bytes);
    }
}

// Every pass over a large input lets go of what lies behind it, the two side-by-side ones
// included, and the result stays the whole path's.
TEST(Pipeline, LetsGoOfTheInputBehindEveryPass)
{
    std::string sjis;
    while (sjis.size() < (3u << 20))
        sjis += "\x82\xA0\x82\xA2\x82\xA4 abc \x83\x41\x83\x43\r\n";
    std::string utf8;
    while (utf8.size() < (3u << 20))
        utf8 += "\xE3\x81\x82 abc " + std::string(90, 'x') + "\n";
    for (const auto& [input, code] :
         {std::pair{sjis, io::OutputCode::Jis}, std::pair{utf8, io::OutputCode::Sjis}}) {
        Task o;
        o.command = Command::Align;
        o.outputCode = code;
        StringOutput whole, pieces;
        static_cast<void>(runWhole(o, input, whole));
        std::vector<std::size_t> seen;
        const RunResult r =
            runPipeline(o, input, pieces, {}, [&](std::size_t upTo) { seen.push_back(upTo); });
        EXPECT_EQ(r.exitStatus, kExitDone);
        EXPECT_TRUE(pieces.text == whole.text);
        // Each pass starts again from the beginning: positions fall back to below a megabyte.
        const auto restarts = std::count_if(seen.begin() + 1, seen.end(),
                                            [&](std::size_t at) { return at <= (1u << 20) + 1; });
        EXPECT_GE(restarts, 2) << input.size();
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), input.size());
        EXPECT_EQ(*std::max_element(seen.begin(), seen.end()), input.size());
    }
}

// convert of an input of some megabytes runs its halves on two cores: the same bytes and result
// as the whole path, whether the halves hold or the run falls back to one core.
TEST(Pipeline, ConvertsLargeInputInTwoHalvesAlike)
{
    const auto large = [](const std::string& file, const std::string& tail) {
        const std::string mail = fileBytes(std::string(KESTROVA_TEST_DATA) + "/" + file);
        std::string bytes;
        while (bytes.size() < (3u << 19))
            bytes += mail;
        return bytes + tail;
    };
    // JIS whose kanji run goes on across the line feeds, so no half may start afresh.
    std::string kanjiAcrossLines = "\x1B$B";
    while (kanjiAcrossLines.size() < (3u << 19))
        kanjiAcrossLines += "$3$l$O\n";
    kanjiAcrossLines += "\x1B(B\n";
    // ASCII lines with one line of Japanese at a given share of the input: one half holds no
    // multi-byte character at all.
    const auto asciiWithJapaneseAt = [](double share) {
        std::string bytes;
        while (bytes.size() < (3u << 20)) {
            if (bytes.size() >= share * (3u << 20) && bytes.size() < share * (3u << 20) + 64)
                bytes += "日本語の行です。\n";
            bytes += "plain ASCII text of a mail, line after line.\n";
        }
        return bytes;
    };
    // Eight-bit katakana in JIS, which the plain reading leaves to the converters' stream.
    const std::string eightBitKatakana = "\xB1\xB2\n";
    std::string katakanaAcrossLines = eightBitKatakana + "\x1B$B$3\x1B(B\n\x0E";
    while (katakanaAcrossLines.size() < (3u << 19))
        katakanaAcrossLines += "12345\n";
    katakanaAcrossLines += "\x0F\n";
    // Every pair of the rows of JIS X 0208 that code page 932 decodes to a character whose own
    // form lies in those rows (lead byte 0xEF at most), found by the textbook arithmetic, in
    // lines of kanji runs: the halves read them the short way, no pair making it give up.
    std::string everyPair;
    for (int row = 0x21; row <= 0x7E; ++row) {
        for (int cell = 0x21; cell <= 0x7E; ++cell) {
            using namespace engine::cp932_tables;
            const int lead = (row + 1) / 2 + (row <= 0x5E ? 0x70 : 0xB0);
            const int trail = cell + (row % 2 == 0 ? 0x7E : cell >= 0x60 ? 0x20 : 0x1F);
            const char16_t c = kDecode2[lead << 8 | trail];
            if (c != kNoChar && kEncode[c] >> 8 <= 0xEF)
                everyPair += {static_cast<char>(row), static_cast<char>(cell)};
        }
    }
    std::string everyKanjiJis, everyKanjiEuc;
    while (everyKanjiJis.size() < (3u << 19)) {
        for (std::size_t at = 0; at < everyPair.size(); at += 64) {
            const std::string run = everyPair.substr(at, 64);
            everyKanjiJis += "\x1B$B" + run + "\x1B(B\n";
            for (const char b : run)
                everyKanjiEuc += static_cast<char>(b | 0x80);
            everyKanjiEuc += '\n';
        }
    }
    const std::pair<std::string, std::string> inputs[] = {
        {"jis, every kanji", everyKanjiJis},
        {"euc, every kanji", everyKanjiEuc},
        {"ascii, utf8 only in the second half", asciiWithJapaneseAt(0.75)},
        {"ascii, utf8 only in the first half", asciiWithJapaneseAt(0.25)},
        {"jis, kanji across the split after eight-bit katakana",
         eightBitKatakana + kanjiAcrossLines},
        {"jis, shifted-out katakana across the split after eight-bit katakana",
         katakanaAcrossLines},
        {"utf8", large("mail-utf8-lf.txt", "")},
        {"utf8, unmapped at the end", large("mail-utf8-lf.txt", "\xF0\x9F\x98\x80\n")},
        {"utf8, broken at the end", large("mail-utf8-lf.txt", "\xE3\x81\n")},
        {"euc", large("mail-euc-lf.txt", "")},
        {"euc, no character at the end", large("mail-euc-lf.txt", "\xA9\xA1\n")},
        {"euc, katakana and an end-of-file mark",
         large("mail-euc-lf.txt", "\x8E\xB1\x8E\xDF\r\n\r\x1A")},
        {"euc, a line break inside a character",
         "\xA4\r\n\xA2\n" + large("mail-euc-lf.txt", "\xA4\xA2")},
        {"jis", large("mail-jis-lf.txt", "")},
        {"jis, kanji across lines", kanjiAcrossLines},
        {"jis, katakana by designation and by shift",
         large("mail-jis-lf.txt", "\x1B(I1_ \x1B(J\\\n\x0E"
                                  "12\x0F"
                                  "3\r\n")},
        {"jis, a space among katakana", "\x1B(I1 2\x1B(B\n" + large("mail-jis-lf.txt", "")},
        {"jis, a broken escape", large("mail-jis-lf.txt", "\x1B$x\x1B(B\n")},
        {"jis, a pair of the IBM rows", large("mail-jis-lf.txt", "\x1B$By!\x1B(B\n")},
        {"euc, a pair of the IBM rows", large("mail-euc-lf.txt", "\xF9\xA1\n")},
        {"sjis, split pair", large("mail-sjis-crlf.txt", "\x82\r\n\xA0\r\n")},
        {"sjis", large("mail-sjis-cr.txt", "\x1A")},
        {"sjis, a JIS designation at the end", large("mail-sjis-crlf.txt", "\x1B$B$3$l\x1B(B\r\n")},
    };
    for (const auto& [name, bytes] : inputs) {
        for (int to = 0; to <= kConvertToUtf8 + 1; ++to) {
            Task o;
            o.command = Command::Convert;
            o.convertTo = std::min(to, kConvertToUtf8);
            o.crlf = to > kConvertToUtf8;
            StringOutput whole, halves;
            const RunResult expected = runWhole(o, bytes, whole);
            const RunResult got = runPipeline(o, bytes, halves);
            SCOPED_TRACE(name + " to " + std::to_string(to));
            EXPECT_EQ(got.exitStatus, expected.exitStatus);
            EXPECT_EQ(got.error, expected.error);
            EXPECT_EQ(got.resultWord, expected.resultWord);
            EXPECT_TRUE(halves.text == whole.text);
        }
    }
}

TEST(Pipeline, WritesNothingBeforeARefusal)
{
    // The refused character stands far behind many pieces of good text.
    const std::string text = std::string(100000, 'a') + "\n" + "😀\n";
    Task o;
    o.command = Command::Convert;
    o.convertTo = io::kTargetSjis;
    StringOutput out;
    const RunResult r = runPipeline(o, text, out, [] { return std::size_t{64}; });
    EXPECT_EQ(r.exitStatus, kExitBadInput);
    EXPECT_EQ(r.error, "line 2: U+1F600 has no form in Shift_JIS");
    EXPECT_EQ(out.text, "");
}

// A commit message with git's comment lines and a diff after the scissors: both paths leave
// git's lines alone, piece by piece as well; the leftover of the broken line is not joined.
TEST(Pipeline, BothPathsLeaveGitsCommentLinesAlone)
{
    const std::string message =
        "件名です\n\n本文の長い行です。本文の長い行です。本文の長い行です。本文の長い行です。\n"
        "# Please enter the commit message for your changes. Lines starting\n"
        "# ------------------------ >8 ------------------------\n"
        "diff --git a/a.txt b/a.txt and a long line that would be broken otherwise\n";
    const std::string expected =
        "件名です\n\n本文の長い行です。本文の長い行です。本文の長い行です。本文の長い行です\n"
        "。\n"
        "# Please enter the commit message for your changes. Lines starting\n"
        "# ------------------------ >8 ------------------------\n"
        "diff --git a/a.txt b/a.txt and a long line that would be broken otherwise\n";
    Task o;
    o.command = Command::Align;
    o.settings.CommentChar = u"#";
    StringOutput whole;
    ASSERT_EQ(runWhole(o, message, whole).exitStatus, kExitDone);
    EXPECT_EQ(whole.text, expected);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, kPieceBytes}) {
        StringOutput pieces;
        ASSERT_EQ(runPipeline(
                      o, message, pieces, [piece] { return piece; }, {}, 0)
                      .exitStatus,
                  kExitDone);
        EXPECT_EQ(pieces.text, expected) << "pieces of " << piece;
    }
}

} // namespace
} // namespace kestrova::stream
