#include "engine/cp932.h"

#include <gtest/gtest.h>

namespace kestrova::engine {
namespace {

TEST(Cp932, MapsTheCodesThatOtherShiftJisTablesDisagreeOn)
{
    EXPECT_EQ(cp932Code(U'\\'), 0x5C);
    EXPECT_EQ(cp932Code(U'~'), 0x7E);
    EXPECT_EQ(cp932Code(U'～'), 0x8160);
    EXPECT_TRUE(cp932Char(0x8160) == U'～');
    EXPECT_TRUE(cp932Char(0x5C) == U'\\');
    EXPECT_EQ(cp932Code(U'ｱ'), 0xB1);
    EXPECT_EQ(cp932Code(U'あ'), 0x82A0);
    EXPECT_EQ(cp932Code(U'\u2170'), 0xFA40); // the converter's choice among the duplicates
}

TEST(Cp932, CharactersWrittenOnlyOneWayHaveNoForm)
{
    for (char32_t cp : {U'\u00A5', U'\u203E', U'\u2014'}) {
        EXPECT_FALSE(cp932Code(cp)) << std::hex << static_cast<std::uint32_t>(cp);
        EXPECT_EQ(charWidth(cp), 1) << std::hex << static_cast<std::uint32_t>(cp);
    }
}

TEST(Cp932, JisVariantsTakeTheirCounterpartsFormAndClass)
{
    const std::pair<char32_t, char32_t> variants[] = {
        {0x301C, 0xFF5E}, {0x2016, 0x2225}, {0x2212, 0xFF0D},
        {0x00A2, 0xFFE0}, {0x00A3, 0xFFE1}, {0x00AC, 0xFFE2},
    };
    for (const auto& [variant, counterpart] : variants) {
        EXPECT_EQ(cp932Code(variant), cp932Code(counterpart))
            << std::hex << static_cast<std::uint32_t>(variant);
        EXPECT_EQ(charWidth(variant), 2) << std::hex << static_cast<std::uint32_t>(variant);
        EXPECT_EQ(charInfo(variant).wordClass, charInfo(counterpart).wordClass);
    }
}

TEST(Cp932, CharactersWithoutAFormAreMeasuredByEastAsianWidth)
{
    EXPECT_EQ(charWidth(U'😀'), 2);
    EXPECT_EQ(charWidth(U'𠮷'), 2);
    EXPECT_EQ(charWidth(U'한'), 2);
    EXPECT_EQ(charWidth(U'é'), 1);
    EXPECT_EQ(charWidth(U'\u0301'), 1); // combining: still one column
    EXPECT_EQ(charWidth(0xD800), 1);    // an unpaired surrogate
    EXPECT_EQ(textWidth(u"a😀あｱ"), 6u);
}

TEST(Cp932, EveryCodeTheConverterReadsComesBackThroughTheTables)
{
    int characters = 0;
    for (int code = 0; code < 0x10000; ++code) {
        const auto cp = cp932Char(static_cast<std::uint16_t>(code));
        if (!cp)
            continue;
        ++characters;
        const auto back = cp932Code(*cp);
        ASSERT_TRUE(back) << std::hex << code;
        // Duplicates come back as the converter's own form, which reads as the same character.
        EXPECT_TRUE(cp932Char(*back) == cp) << std::hex << code;
        EXPECT_EQ(charWidth(*cp), *back > 0xFF ? 2 : 1) << std::hex << code;
    }
    // 128 ASCII and control codes, 63 kana, and the two-byte characters with the user area.
    EXPECT_GT(characters, 9000);
}

// FNV-1a over the values fed to it, each as four little-endian bytes.
class Checksum
{
public:
    void add(std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i) {
            m_hash ^= (value >> (8 * i)) & 0xFF;
            m_hash *= 0x100000001B3ULL;
        }
    }
    std::uint64_t value() const { return m_hash; }

private:
    std::uint64_t m_hash = 0xCBF29CE484222325ULL;
};

// The tables are made at build time from the system's converter and its Unicode data. A
// different converter or Unicode version must show here, not silently in re-flowed text and
// written files: if one of these fails, check what changed before taking the new value.
TEST(Cp932, TablesMatchTheOnesThisVersionWasMadeWith)
{
    constexpr std::uint32_t kNone = 0xFFFFFFFF;
    Checksum widths;
    Checksum classes;
    Checksum forms;
    Checksum characters;
    for (char32_t cp = 0; cp <= 0xFFFF; ++cp) {
        const CharInfo info = charInfo(cp);
        widths.add(info.width);
        classes.add(static_cast<std::uint32_t>(info.wordClass) | (info.hasForm ? 0x100 : 0) |
                    (info.opening ? 0x200 : 0));
        forms.add(cp932Code(cp).value_or(kNone));
        characters.add(cp932Char(static_cast<std::uint16_t>(cp)).value_or(kNone));
    }
    // Beyond the BMP only the width varies: emoji and the CJK extensions by East Asian Width.
    for (char32_t cp = 0x10000; cp <= 0x3FFFF; ++cp)
        widths.add(static_cast<std::uint32_t>(charWidth(cp)));
    EXPECT_EQ(widths.value(), 0x36DE71CCB2372BA6ULL);
    EXPECT_EQ(classes.value(), 0x7A3FCCA9868F1411ULL);
    EXPECT_EQ(forms.value(), 0xA7D236118DB31F96ULL);
    EXPECT_EQ(characters.value(), 0xEDAAEE8F628CF77DULL);
}

TEST(Cp932, ConversionOfTextFailsOnlyWhereAFormIsMissing)
{
    std::size_t at = 99;
    EXPECT_EQ(toCp932(u"aあ"), std::string("a\x82\xA0"));
    EXPECT_FALSE(toCp932(u"aあ😀", &at));
    EXPECT_EQ(at, 2u);
    EXPECT_EQ(fromCp932("a\x82\xA0"), u"aあ");
    EXPECT_FALSE(fromCp932("ab\x82", &at));
    EXPECT_EQ(at, 2u);
    EXPECT_FALSE(fromCp932("\x80", &at));
    EXPECT_FALSE(fromCp932("\x82\x20", &at));
}

} // namespace
} // namespace kestrova::engine
