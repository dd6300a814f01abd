// Code page 932 (Windows-31J) forms of characters, their column widths and word classes.
//
// The engine's text type is UTF-16 (std::u16string). A "character" is a code point: positions
// and counts never fall inside a surrogate pair. Widths are columns: the byte count of a
// character's code page 932 form; a character without such a form counts two columns when its
// East Asian Width is Wide or Fullwidth and one otherwise, and is never replaced or dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova::engine {

// Word classes of a character: 0 other, 1 small kana, 2 prolonged mark, 3 stop,
// 4 full-width word character, 5 half-width word character.
enum WordClass : std::uint8_t
{
    kClassOther = 0,
    kClassSmallKana = 1,
    kClassProlonged = 2,
    kClassStop = 3,
    kClassFullWord = 4,
    kClassHalfWord = 5,
};

struct CharInfo
{
    std::uint8_t width = 1;     // 1 or 2 columns
    std::uint8_t wordClass = 0; // WordClass
    bool hasForm = false;       // has a code page 932 form (the six variants included)
    bool opening = false;       // opens a pair of the bracket list
};

// Information about one code point; any value, including unpaired surrogates, is accepted.
[[nodiscard]] CharInfo charInfo(char32_t cp);

// The bits behind charInfo for the Basic Multilingual Plane, one byte per code point, for
// loops that measure much text.
struct InfoBits
{
    static constexpr std::uint8_t kTwoColumns = 1;
    static constexpr int kClassShift = 1;
    static constexpr std::uint8_t kClassMask = 7;
    static constexpr std::uint8_t kHasForm = 16;
    static constexpr std::uint8_t kOpening = 32;
};
[[nodiscard]] const std::uint8_t* bmpInfoTable();

// The tables behind these functions, made at build time from the system's converter (see
// tools/cp932gen): for loops over much text that look characters up themselves.
namespace cp932_tables {
struct WideRange
{
    char32_t first;
    char32_t last;
};
inline constexpr char16_t kNoChar = 0xFFFF;  // a code that is no character
extern const std::uint8_t kInfo[0x10000];    // InfoBits per BMP code point
extern const std::uint16_t kEncode[0x10000]; // the form, where kInfo has kHasForm
extern const char16_t kDecode1[0x100];       // one-byte codes
extern const char16_t kDecode2[0x10000];     // two-byte codes, indexed by lead << 8 | trail
extern const WideRange kWideRanges[];        // Wide and Fullwidth beyond the BMP, ascending
extern const std::size_t kWideRangeCount;
} // namespace cp932_tables

// Column width of one code point, 1 or 2.
[[nodiscard]] int charWidth(char32_t cp);

// The code page 932 form of a code point: 0x00–0xFF for a one-byte character, lead << 8 | trail
// for a two-byte one; empty when it has none. U+301C, U+2016, U+2212, U+00A2, U+00A3 and
// U+00AC take the form of U+FF5E, U+2225, U+FF0D, U+FFE0, U+FFE1 and U+FFE2.
[[nodiscard]] std::optional<std::uint16_t> cp932Code(char32_t cp);

// The character of a code page 932 code (as cp932Code returns it); empty when the code is not a
// character of code page 932.
[[nodiscard]] std::optional<char32_t> cp932Char(std::uint16_t code);

// True for a lead byte of a two-byte character.
[[nodiscard]] constexpr bool isLeadByte(std::uint8_t b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Reads the code point at position i of text and advances i past it; an unpaired surrogate is
// one code point of its own.
[[nodiscard]] inline char32_t nextCodePoint(std::u16string_view text, std::size_t& i)
{
    const char16_t u = text[i++];
    if (u >= 0xD800 && u <= 0xDBFF && i < text.size()) {
        const char16_t v = text[i];
        if (v >= 0xDC00 && v <= 0xDFFF) {
            ++i;
            return 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(v) - 0xDC00);
        }
    }
    return u;
}

void appendCodePoint(std::u16string& out, char32_t cp);

// The code page 932 form of a text. A character without a form makes the conversion fail:
// the result is empty and *unmappedAt (when given) receives its position in code units.
[[nodiscard]] std::optional<std::string> toCp932(std::u16string_view text,
                                                 std::size_t* unmappedAt = nullptr);

// Decodes code page 932 bytes. A byte that does not start a character (0x80, 0xA0, 0xFD–0xFF,
// a lead byte without a valid trail) makes the decoding fail: the result is empty and
// *badAt (when given) receives its byte offset.
[[nodiscard]] std::optional<std::u16string> fromCp932(std::string_view bytes,
                                                      std::size_t* badAt = nullptr);

// Column width of a whole text.
[[nodiscard]] std::size_t textWidth(std::u16string_view text);

} // namespace kestrova::engine
