#include "io/jis2sjis.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>

namespace kestrova::io {
namespace {

struct ConvertRow
{
    const char* name;
    ByteBuffer input;
    int target;
    ByteBuffer expected;
    int result;
};

void expectConverts(const ConvertRow& row)
{
    SCOPED_TRACE(row.name);
    ByteBuffer buffer = row.input;
    EXPECT_EQ(CodeConvert(buffer, row.target), row.result);
    EXPECT_EQ(buffer, row.expected);
}

struct BufferRow
{
    const char* name;
    ByteBuffer input;
    ByteBuffer expected;
};

template <typename Convert> void expectRows(std::initializer_list<BufferRow> rows, Convert convert)
{
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ByteBuffer buffer = row.input;
        convert(buffer);
        EXPECT_EQ(buffer, row.expected);
    }
}

TEST(CodeConvert, WritesAndReadsBackTheSmallestSamples)
{
    for (const auto& row : std::initializer_list<ConvertRow>{
             {"a and hiragana A to JIS",
              {0x61, 0x82, 0xA0},
              1,
              {0x61, 0x1B, 0x24, 0x42, 0x24, 0x22, 0x1B, 0x28, 0x42},
              0},
             {"a and hiragana A to EUC", {0x61, 0x82, 0xA0}, 2, {0x61, 0xA4, 0xA2}, 0},
             {"katakana to JIS", {0xB1}, 1, {0x1B, 0x28, 0x49, 0x31, 0x1B, 0x28, 0x42}, 0},
             {"katakana to EUC", {0xB1}, 2, {0x8E, 0xB1}, 0},
             {"JIS a and hiragana A back",
              {0x61, 0x1B, 0x24, 0x42, 0x24, 0x22, 0x1B, 0x28, 0x42},
              0,
              {0x61, 0x82, 0xA0},
              1},
             {"JIS katakana back", {0x1B, 0x28, 0x49, 0x31, 0x1B, 0x28, 0x42}, 0, {0xB1}, 1},
             {"EUC too short to scan stays", {0x61, 0xA4, 0xA2}, 0, {0x61, 0xA4, 0xA2}, 0},
             {"EUC katakana too short to scan stays", {0x8E, 0xB1}, 0, {0x8E, 0xB1}, 0},
         }) {
        expectConverts(row);
    }
}

TEST(CodeConvert, ReadsBuffersShorterThanThreeBytesAsShiftJis)
{
    for (const auto& row : std::initializer_list<ConvertRow>{
             {"lone LF", {0x0A}, 0, {0x0D, 0x0A}, 8},
             {"CR as the last byte", {0x61, 0x0D}, 0, {0x61, 0x0D, 0x0A}, 4},
             {"lone lead byte dropped", {0x81}, 0, {}, 0},
             {"lead byte before CR dropped", {0x82, 0x0D}, 0, {0x0D, 0x0A}, 4},
             {"start of an escape kept", {0x1B, 0x24}, 0, {0x1B, 0x24}, 0},
         }) {
        expectConverts(row);
    }
}

TEST(CodeConvert, RecognisesEachKindOfJisByItsFirstSignal)
{
    for (const auto& row : std::initializer_list<ConvertRow>{
             {"kanji pair", {0x1B, 0x24, 0x42, 0x24, 0x22, 0x1B, 0x28, 0x42}, 0, {0x82, 0xA0}, 1},
             {"kanji pair kept for target JIS",
              {0x1B, 0x24, 0x42, 0x24, 0x22, 0x1B, 0x28, 0x42},
              1,
              {0x1B, 0x24, 0x42, 0x24, 0x22, 0x1B, 0x28, 0x42},
              1},
             {"older designations",
              {0x1B, 0x24, 0x40, 0x24, 0x22, 0x1B, 0x28, 0x4A},
              0,
              {0x82, 0xA0},
              1},
             {"fragment inside a kanji run",
              {0x24, 0x22, 0x24, 0x24, 0x1B, 0x28, 0x42, 0x61},
              0,
              {0x82, 0xA0, 0x82, 0xA2, 0x61},
              1},
             {"fragment ended by ESC ( J",
              {0x24, 0x22, 0x1B, 0x28, 0x4A, 0x61},
              0,
              {0x82, 0xA0, 0x61},
              1},
             {"fragment rewritten for target JIS",
              {0x24, 0x22, 0x1B, 0x28, 0x42, 0x61},
              1,
              {0x1B, 0x24, 0x42, 0x24, 0x22, 0x1B, 0x28, 0x42, 0x61},
              1},
             {"SO first: leading bytes are katakana",
              {0x31, 0x32, 0x0E, 0x33, 0x0F, 0x61},
              0,
              {0xB1, 0xB2, 0xB3, 0x61},
              1},
             {"SO late: bytes before it are katakana too",
              {'A', 'B', 'C', 'D', 'E', 'F', 'G', 0x0E, '1', '2', 0x0F, 'h'},
              0,
              {0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xB1, 0xB2, 'h'},
              1},
             {"SI before ESC ( B: the text starts in ASCII",
              {'a', 'b', 'c', 0x0F, 'd', 'e', 'f', 'g', 'h', 'i', 0x1B, '(', 'B', 'j'},
              0,
              {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'},
              1},
             {"ESC $ B after English",
              {'H', 'e', 'l', 'l', 'o', ' ', 0x1B, 0x24, 0x42, 0x24, 0x22, 0x1B, 0x28, 0x42},
              0,
              {'H', 'e', 'l', 'l', 'o', ' ', 0x82, 0xA0},
              1},
             {"kanji split by CR LF",
              {0x1B, 0x24, 0x42, 0x24, 0x0D, 0x0A, 0x22, 0x1B, 0x28, 0x42},
              0,
              {0x0D, 0x0A, 0x82, 0xA0},
              1},
         }) {
        expectConverts(row);
    }
}

TEST(CodeConvert, ReadsEucOnlyWherePairsCannotBeShiftJis)
{
    for (const auto& row : std::initializer_list<ConvertRow>{
             {"second bytes A1-DF read as katakana",
              {0xA4, 0xA2, 0xA4, 0xA4, 0x61, 0x62},
              0,
              {0xA4, 0xA2, 0xA4, 0xA4, 0x61, 0x62},
              0},
             {"katakana before a kanji stay Shift_JIS",
              {0xB1, 0xB2, 0xE9, 0x61, 0x62, 0x63},
              0,
              {0xB1, 0xB2, 0xE9, 0x61, 0x62, 0x63},
              0},
             {"pairs scanned two bytes at a time",
              {0x88, 0xA1, 0xE0, 0x40, 'a', 'b', 'c', 'd', 'e', 'f'},
              0,
              {0x88, 0xA1, 0xE0, 0x40, 'a', 'b', 'c', 'd', 'e', 'f'},
              0},
             {"second byte E9 decides",
              {0xA4, 0xE9, 0x61, 0x62, 0x63},
              0,
              {0x82, 0xE7, 0x61, 0x62, 0x63},
              2},
             {"EUC kept for target EUC, LF fixed",
              {0xA4, 0xE9, 0x61, 0x0A, 0x63},
              2,
              {0xA4, 0xE9, 0x61, 0x0D, 0x0A, 0x63},
              10},
         }) {
        expectConverts(row);
    }
}

TEST(CodeConvert, MakesEveryLineEndCrLfAndReportsTheLastOtherKind)
{
    for (const auto& row : std::initializer_list<ConvertRow>{
             {"LF",
              {'a', 'b', 'c', 0x0A, 'd', 'e', 'f'},
              0,
              {'a', 'b', 'c', 0x0D, 0x0A, 'd', 'e', 'f'},
              8},
             {"lone CR",
              {'a', 'b', 'c', 0x0D, 'd', 'e', 'f'},
              0,
              {'a', 'b', 'c', 0x0D, 0x0A, 'd', 'e', 'f'},
              4},
             {"CR LF only", {'a', 0x0D, 0x0A, 'b'}, 0, {'a', 0x0D, 0x0A, 'b'}, 0},
             {"CR then LF: LF wins",
              {'a', 0x0D, 'b', 0x0A, 'c'},
              0,
              {'a', 0x0D, 0x0A, 'b', 0x0D, 0x0A, 'c'},
              8},
             {"LF then CR: CR wins",
              {'a', 0x0A, 'b', 0x0D, 'c'},
              0,
              {'a', 0x0D, 0x0A, 'b', 0x0D, 0x0A, 'c'},
              4},
             {"LF for an unknown target",
              {'a', 0x0A, 0x82, 0xA0},
              7,
              {'a', 0x0D, 0x0A, 0x82, 0xA0},
              8},
             {"one final 0x1A dropped", {'a', 'b', 0x1A, 0x1A}, 0, {'a', 'b', 0x1A}, 0},
         }) {
        expectConverts(row);
    }
}

TEST(CodeConvert, LeavesAnEmptyBufferEmpty)
{
    ByteBuffer buffer;
    EXPECT_EQ(CodeConvert(buffer, kTargetJis), 0);
    EXPECT_TRUE(buffer.empty());
}

TEST(SjisToJis, SwitchesModesOnlyWhereTheCharacterSetChanges)
{
    expectRows(
        {
            {"katakana then ASCII",
             {0xB1, 0xB2, 0x61},
             {0x1B, 0x28, 0x49, 0x31, 0x32, 0x1B, 0x28, 0x42, 0x61}},
            {"back to ASCII before the line end",
             {0x61, 0xB1, 0x0D, 0x0A},
             {0x61, 0x1B, 0x28, 0x49, 0x31, 0x1B, 0x28, 0x42, 0x0D, 0x0A}},
            {"kanji then katakana at the end",
             {0x82, 0xA0, 0xB1},
             {0x1B, 0x24, 0x42, 0x24, 0x22, 0x1B, 0x28, 0x49, 0x31, 0x1B, 0x28, 0x42}},
            {"first and last JIS X 0208 codes",
             {0x81, 0x40, 0xEF, 0xFC},
             {0x1B, 0x24, 0x42, 0x21, 0x21, 0x7E, 0x7E, 0x1B, 0x28, 0x42}},
            {"0xA0 stays inside the katakana set",
             {0xA0},
             {0x1B, 0x28, 0x49, 0x20, 0x1B, 0x28, 0x42}},
        },
        SjisToJis);
}

TEST(SjisToJis, WritesTheGetaMarkForWhatJisCannotHold)
{
    expectRows(
        {
            {"lead byte last",
             {0x61, 0x82},
             {0x61, 0x1B, 0x24, 0x42, 0x22, 0x2E, 0x1B, 0x28, 0x42}},
            {"lead byte before CR LF keeps the line end",
             {0x82, 0x0D, 0x0A},
             {0x1B, 0x24, 0x42, 0x22, 0x2E, 0x1B, 0x28, 0x42, 0x0D, 0x0A}},
            {"user-defined area", {0xF0, 0x40}, {0x1B, 0x24, 0x42, 0x22, 0x2E, 0x1B, 0x28, 0x42}},
            {"lead 0x80", {0x80, 0x40}, {0x1B, 0x24, 0x42, 0x22, 0x2E, 0x1B, 0x28, 0x42}},
        },
        SjisToJis);
}

TEST(SjisToJis, OutgrowsItsFirstReservationOnStrayLeadBytes)
{
    // Each stray lead byte and letter writes 9 bytes for 2, more than the text's room of 3n.
    ByteBuffer buffer, expected;
    for (int i = 0; i < 4000; ++i) {
        buffer.insert(buffer.end(), {0x82, 0x20});
        expected.insert(expected.end(), {0x1B, 0x24, 0x42, 0x22, 0x2E, 0x1B, 0x28, 0x42, 0x20});
    }
    SjisToJis(buffer);
    EXPECT_EQ(buffer, expected);
}

TEST(SjisToEuc, WritesTheGetaMarkForWhatEucCannotHold)
{
    expectRows(
        {
            {"lead byte last", {0x82}, {0xA2, 0xAE}},
            {"lead byte before CR keeps the CR", {0x82, 0x0D}, {0xA2, 0xAE, 0x0D}},
            {"IBM extension area", {0xFC, 0xFC}, {0xA2, 0xAE}},
        },
        SjisToEuc);
}

TEST(SjisToSjis, RejoinsACharacterSplitByOtherBytes)
{
    expectRows(
        {
            {"lead byte moved after CR LF", {0x82, 0x0D, 0x0A, 0xA0}, {0x0D, 0x0A, 0x82, 0xA0}},
            {"lead byte at the end dropped", {0x61, 0x82, 0x0D}, {0x61, 0x0D}},
            {"pairs after a rejoined character stay whole",
             {0x82, 0x0D, 0x0A, 0xA0, 0x88, 0xE0, 0x0D},
             {0x0D, 0x0A, 0x82, 0xA0, 0x88, 0xE0, 0x0D}},
        },
        SjisToSjis);
}

TEST(JisToSjis, FollowsTheByteRulesOnMalformedRuns)
{
    expectRows(
        {
            {"row byte without its cell dropped", {0x24, 0x0D, 0x0A}, {0x0D, 0x0A}},
            {"row byte in the last position kept", {0x24}, {0x24}},
            {"out-of-range steps skipped", {0xFF, 0xFF}, {0xF0, 0xFF}},
            {"only the overflowing step skipped", {0x22, 0xE0}, {0x81, 0xE1}},
        },
        [](ByteBuffer& buffer) { JisToSjis(buffer, 1); });
    expectRows({{"broken escape: all but the ESC kept",
                 {0x1B, 0x78, 0x24, 0x42, 0x24, 0x22},
                 {0x78, 0x82, 0xA0}}},
               [](ByteBuffer& buffer) { JisToSjis(buffer, 0); });
}

TEST(EucToSjis, ReadsPairsAndKatakanaAcrossOtherBytes)
{
    expectRows(
        {
            {"a and hiragana A", {0x61, 0xA4, 0xA2}, {0x61, 0x82, 0xA0}},
            {"katakana", {0x8E, 0xB1}, {0xB1}},
            {"line break inside a pair goes first",
             {0xA4, 0x0D, 0x0A, 0xA2},
             {0x0D, 0x0A, 0x82, 0xA0}},
            {"row byte without its cell dropped", {0xA4, 0x0D, 0x0A}, {0x0D, 0x0A}},
            {"high byte in the last position kept", {0x61, 0xA4}, {0x61, 0xA4}},
        },
        EucToSjis);
}

// Well-formed Shift_JIS of real characters: ASCII, half-width katakana, JIS X 0208 pairs, CR LF.
ByteBuffer makeShiftJisText(std::mt19937& random, int characters)
{
    std::uniform_int_distribution<int> kind(0, 9), ascii(0x20, 0x7E), kana(0xA1, 0xDF);
    std::uniform_int_distribution<int> lead(0, 46), trail(0, 187);
    ByteBuffer text;
    for (int c = 0; c < characters; ++c) {
        const int k = kind(random);
        if (k < 3) {
            text.push_back(static_cast<std::uint8_t>(ascii(random)));
        } else if (k < 5) {
            text.push_back(static_cast<std::uint8_t>(kana(random)));
        } else if (k < 9) {
            const int l = lead(random), t = trail(random);
            text.push_back(static_cast<std::uint8_t>(l < 31 ? 0x81 + l : 0xE0 + l - 31));
            text.push_back(static_cast<std::uint8_t>(t < 63 ? 0x40 + t : 0x80 + t - 63));
        } else {
            text.insert(text.end(), {0x0D, 0x0A});
        }
    }
    return text;
}

bool isJisByte(std::uint8_t b) { return b >= 0x21 && b <= 0x7E; }

// 7-bit, only ESC $ B / ESC ( I / ESC ( B and each one a change, pairs and katakana in range,
// ASCII at the end.
bool isWellFormedJis(const ByteBuffer& jis)
{
    int mode = 0;
    for (std::size_t i = 0; i < jis.size(); ++i) {
        if (jis[i] >= 0x80 || jis[i] == 0x0E || jis[i] == 0x0F) {
            return false;
        }
        if (jis[i] == 0x1B) {
            const ByteBuffer sequence(jis.begin() + i, jis.begin() + std::min(i + 3, jis.size()));
            const int next = sequence == ByteBuffer{0x1B, '$', 'B'}   ? 1
                             : sequence == ByteBuffer{0x1B, '(', 'I'} ? 2
                             : sequence == ByteBuffer{0x1B, '(', 'B'} ? 0
                                                                      : -1;
            if (next < 0 || next == mode) {
                return false;
            }
            mode = next;
            i += 2;
        } else if (mode == 1) {
            if (i + 1 == jis.size() || !isJisByte(jis[i]) || !isJisByte(jis[i + 1])) {
                return false;
            }
            ++i;
        } else if (mode == 2 && (jis[i] < 0x20 || jis[i] > 0x5F)) {
            return false;
        }
    }
    return mode == 0;
}

bool isWellFormedEuc(const ByteBuffer& euc)
{
    for (std::size_t i = 0; i < euc.size(); ++i) {
        if (euc[i] < 0x80) {
            continue;
        }
        if (i + 1 == euc.size()) {
            return false;
        }
        const std::uint8_t first = euc[i], second = euc[++i];
        const bool kana = first == 0x8E && second >= 0xA0 && second <= 0xDF;
        if (!kana && (first < 0xA1 || first > 0xFE || second < 0xA1 || second > 0xFE)) {
            return false;
        }
    }
    return true;
}

constexpr std::uint32_t kSeed = 20240611;

TEST(SjisToJis, WritesWellFormedJisThatReadsBackToTheSameText)
{
    std::mt19937 random(kSeed);
    for (int sample = 0; sample < 300; ++sample) {
        const ByteBuffer text = makeShiftJisText(random, sample % 40);
        ByteBuffer jis = text;
        SjisToJis(jis);
        ASSERT_TRUE(isWellFormedJis(jis)) << "sample " << sample;
        const bool allAscii =
            std::all_of(text.begin(), text.end(), [](auto b) { return b < 0x80; });
        EXPECT_EQ(CodeConvert(jis, kTargetSjis), allAscii ? 0 : 1) << "sample " << sample;
        EXPECT_EQ(jis, text) << "sample " << sample;
    }
}

TEST(SjisToEuc, WritesWellFormedEucThatReadsBackToTheSameText)
{
    std::mt19937 random(kSeed + 1);
    std::uniform_int_distribution<int> lead(0x81, 0x9F), trail(0x80, 0x9E);
    for (int sample = 0; sample < 300; ++sample) {
        // A first kanji whose EUC second byte is 0xE0 or more, so the scan can tell EUC.
        ByteBuffer text{static_cast<std::uint8_t>(lead(random)),
                        static_cast<std::uint8_t>(trail(random))};
        const ByteBuffer rest = makeShiftJisText(random, 3 + sample % 40);
        text.insert(text.end(), rest.begin(), rest.end());
        ByteBuffer euc = text;
        SjisToEuc(euc);
        ASSERT_TRUE(isWellFormedEuc(euc)) << "sample " << sample;
        EXPECT_EQ(CodeConvert(euc, kTargetSjis), 2) << "sample " << sample;
        EXPECT_EQ(euc, text) << "sample " << sample;
    }
}

TEST(Writers, WriteWellFormedJisAndEucForArbitraryBytes)
{
    std::mt19937 random(kSeed + 2);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int sample = 0; sample < 500; ++sample) {
        ByteBuffer bytes(static_cast<std::size_t>(sample % 50));
        // ESC, SO and SI are copied as controls and would read as shifts: leave them out.
        std::generate(bytes.begin(), bytes.end(), [&] {
            int b = byte(random);
            return static_cast<std::uint8_t>(b == 0x1B || b == 0x0E || b == 0x0F ? 0x00 : b);
        });
        ByteBuffer jis = bytes, euc = bytes;
        SjisToJis(jis);
        SjisToEuc(euc);
        EXPECT_TRUE(isWellFormedJis(jis)) << "sample " << sample;
        EXPECT_TRUE(isWellFormedEuc(euc)) << "sample " << sample;
    }
}

} // namespace
} // namespace kestrova::io
