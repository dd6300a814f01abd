// The piece-by-piece converter against the whole-buffer one: the same bytes and result word for
// every code, target and way of cutting the input.
#include "io/codestream.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace kestrova::io {
namespace {

// Bytes that steer the readers: escapes and their finals, shifts, line ends, the end-of-file
// mark, EUC's SS2, lead and trail bytes, half-width katakana.
std::string damagedText(std::mt19937& random, std::size_t size)
{
    static const std::uint8_t kBytes[] = {0x1B, '$',  '(',  'B',  '@',  'J',  'I',  0x0E,
                                          0x0F, '\r', '\n', 0x1A, 0x8E, 0x82, 0xA0, 0xA4,
                                          0xB1, 0xE0, 0xFC, 0xFD, 0x40, 0x7F, 0x21, 'a'};
    std::string text;
    while (text.size() < size) {
        const auto pick = random() % 4;
        text +=
            static_cast<char>(pick == 0 ? random() % 256 : kBytes[random() % std::size(kBytes)]);
    }
    return text;
}

std::vector<std::string> inputs()
{
    std::vector<std::string> all;
    for (const auto& entry : std::filesystem::directory_iterator(KESTROVA_TEST_DATA)) {
        std::ifstream in(entry.path(), std::ios::binary);
        all.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::mt19937 random(7);
    for (int k = 0; k < 300; ++k)
        all.push_back(damagedText(random, random() % 40));
    for (const char* edge : {"", "\x1A", "\r", "\x1B", "\x1B$", "\x1B$B", "a\x1B", "\x82",
                             "\xA4\r\n\xA2", "\x1B$B\x30\r\n\x21\x1B(B", "x\x1A\r", "\r\x1A"})
        all.emplace_back(edge);
    return all;
}

std::vector<CodeDetection> readings(const std::string& input)
{
    return {detectCode(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()),
            {CodeFamily::Jis, kAsciiState, true},
            {CodeFamily::Jis, kKanjiState, false},
            {CodeFamily::Jis, kKanaState, false},
            {CodeFamily::Euc, kAsciiState, false},
            {CodeFamily::Sjis, kAsciiState, false}};
}

TEST(CodeConvertStream, GivesTheWholeBuffersBytesHoweverTheInputIsCut)
{
    std::mt19937 random(11);
    for (const std::string& input : inputs()) {
        for (const CodeDetection& code : readings(input)) {
            for (int target = 0; target <= 3; ++target) {
                ByteBuffer whole(input.begin(), input.end());
                const int word = CodeConvertAs(whole, target, code);
                const std::string expected(whole.begin(), whole.end());
                for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{2},
                                        std::size_t{3}, std::size_t{1} << 20}) {
                    CodeConvertStream stream(code, target);
                    std::string got;
                    for (std::size_t at = 0;;) {
                        // Cut 0 stands for pieces of random sizes, empty ones among them.
                        const std::size_t size = cut ? cut : random() % 5;
                        const std::string_view piece =
                            std::string_view(input).substr(std::min(at, input.size()), size);
                        at += piece.size();
                        const bool last = at >= input.size() && (cut || random() % 2);
                        got += stream.convert(piece, last);
                        if (last)
                            break;
                    }
                    SCOPED_TRACE(testing::PrintToString(input) + " family " +
                                 std::to_string(static_cast<int>(code.family)) + " start " +
                                 std::to_string(code.jisStart) + " target " +
                                 std::to_string(target) + " cut " + std::to_string(cut));
                    ASSERT_EQ(got, expected);
                    ASSERT_EQ(stream.resultWord(), word);
                }
            }
        }
    }
}

// A copy goes on from where the stream stood, and leaves the stream's own bytes alone.
TEST(CodeConvertStream, ACopyGoesOnFromTheSameState)
{
    for (const std::string& input : inputs()) {
        const CodeDetection code =
            detectCode(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
        for (int target = 0; target <= 2; ++target) {
            ByteBuffer whole(input.begin(), input.end());
            static_cast<void>(CodeConvertAs(whole, target, code));
            const std::string_view bytes(input);
            const std::size_t half = bytes.size() / 2;
            CodeConvertStream stream(code, target);
            const std::string head(stream.convert(bytes.substr(0, half), false));
            CodeConvertStream copy = stream;
            const std::string_view left = stream.convert(bytes.substr(half), true);
            const std::string fromCopy(copy.convert(bytes.substr(half), true));
            SCOPED_TRACE(testing::PrintToString(input) + " target " + std::to_string(target));
            ASSERT_EQ(head + std::string(left), std::string(whole.begin(), whole.end()));
            ASSERT_EQ(fromCopy, std::string(left));
            ASSERT_EQ(copy.resultWord(), stream.resultWord());
        }
    }
}

// Two halves converted at once are joined only when the first ends where a fresh stream
// starts: every state that changes how the rest reads must tell them apart.
TEST(CodeConvertStream, SameStateTellsWhatTheNextBytesWouldReadAs)
{
    const CodeDetection jis{CodeFamily::Jis, kAsciiState, true};
    const CodeDetection euc{CodeFamily::Euc};
    const CodeDetection sjis{CodeFamily::Sjis};
    const struct
    {
        const char* name;
        CodeDetection code;
        int target;
        std::string head;
        bool same;
    } rows[] = {
        {"JisRunClosed", jis, kTargetSjis, "\x1b$B$3$l\x1b(Babc\n", true},
        {"JisKanjiRunOpen", jis, kTargetSjis, "\x1b$B$3$l", false},
        {"JisKanjiRunOpenAfterAnUnknownEscape", jis, kTargetSjis, "\x1b$(D\x1b$B$3", false},
        {"JisKatakanaShiftedOut", jis, kTargetSjis, "\x0e\x31\x32", false},
        {"JisKatakanaShiftedBackIn", jis, kTargetSjis, "\x0e\x31\x0f", true},
        {"JisKatakanaDesignated", jis, kTargetSjis, "\x1b(I\x31", false},
        {"JisInsideAnEscape", jis, kTargetSjis, "abc\x1b$", false},
        {"JisRowWaitingForItsCell", jis, kTargetSjis, "\x1b$B$", false},
        {"EucRowWaitingForItsCell", euc, kTargetSjis, "abc\xa4", false},
        {"CrWaitingForAnLf", sjis, kTargetSjis, "abc\r", false},
        {"ShiftJisToJisWriterInKanji", sjis, kTargetJis, "\x82\xa0", false},
        {"ShiftJisToJisWriterBackInAscii", sjis, kTargetJis, "\x82\xa0\r\n", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CodeConvertStream stream(row.code, row.target);
        // Enough bytes follow that none of the head waits for them.
        static_cast<void>(stream.convert(row.head, false, 16));
        EXPECT_EQ(stream.sameState(CodeConvertStream(row.code, row.target)), row.same);
        EXPECT_TRUE(stream.sameState(stream));
    }
}

} // namespace
} // namespace kestrova::io
