// Measuring and classifying characters for the re-flow: ByteGet, KanjiCheck, WordCheckSub,
// WordCheck, KakkoCheck, and the measured-character form the re-flow works on.
//
// Counts are of characters (code points) and bytes of the code page 932 form; a count n means
// "the first n", so the 1-based positions of the operations' contracts are the counts here.
#pragma once

#include "engine/cp932.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kestrova::engine {

struct MeasuredChar
{
    std::uint32_t unit = 0; // where it starts in the measured text, in UTF-16 code units
    char16_t first = 0;     // its first code unit: the character itself unless it is a pair
    std::uint8_t width = 1;
    std::uint8_t wordClass = 0; // a continuing character takes the class of its cluster's first
    bool opening = false;
    bool joins = false; // continues the grapheme cluster of the character before it: no break
};

using MeasuredText = std::span<const MeasuredChar>;

// Appends the measured characters of text to out. Where a character without a code page 932
// form is involved, the characters of one extended grapheme cluster (a letter and its
// combining marks, a flag, an emoji sequence, a character and its variation selector) are
// marked to stay together; two neighbours that both have a form are never joined, so texts of
// the code page 932 repertoire break as they always have.
void measureText(std::u16string_view text, std::vector<MeasuredChar>& out);

// Which characters of a text measureText would mark as continuing a cluster, found in one pass
// that keeps a bit per code unit, and nothing at all for a text where none does.
class ClusterJoins
{
public:
    explicit ClusterJoins(std::u16string_view text);
    [[nodiscard]] bool at(std::size_t unit) const { return !m_bits.empty() && m_bits[unit]; }

private:
    std::vector<bool> m_bits;
};

struct Stretch
{
    std::size_t end = 0;   // code unit after the last character measured
    std::size_t width = 0; // their width
};

// Appends to out the measured characters of text from code unit from on, as measureText would
// measure them in the whole text (units count from the start of text; out's last character,
// if any, is the one before from), until they are wider than width and the next character
// begins a cluster, or the text ends.
[[nodiscard]] Stretch measureStretch(std::u16string_view text, std::size_t from, std::size_t width,
                                     const ClusterJoins& joins, std::vector<MeasuredChar>& out);

// Measured characters of code page 932 bytes, character by character as the bytes' lead bytes
// pair them; a byte that is no character counts as a one-byte character of class 0.
void measureBytes(std::string_view bytes, std::vector<MeasuredChar>& out);

// The byte width of the first n characters of text (the whole text when n exceeds it).
[[nodiscard]] int ByteGet(std::u16string_view text, int n);
[[nodiscard]] int ByteGet(MeasuredText text, std::size_t n);

// True when byte n (1-based) of bytes is the lead byte of a two-byte character, so that cutting
// after it would split the character; false for n of 0 or less.
[[nodiscard]] bool KanjiCheck(std::string_view bytes, int n);

// The 1-based position of the one character c in list, 0 when absent or when c is not exactly
// one character.
[[nodiscard]] int WordCheckSub(std::u16string_view c, std::u16string_view list);

// The word class (0-5) of the one character c; 0 when c is not exactly one character.
[[nodiscard]] int WordCheck(std::u16string_view c);

// Given a break after character n of text: an earlier break (a smaller count) that keeps a
// bracketed run whole, or 0 when the break may stay.
[[nodiscard]] int KakkoCheck(std::u16string_view text, int n);
[[nodiscard]] std::size_t KakkoCheck(MeasuredText text, std::size_t n);

// KakkoCheck's search, for a caller that knows the width of the first n characters and that
// an opening bracket stands after the first character.
[[nodiscard]] std::size_t kakkoSearch(MeasuredText text, std::size_t n, int lineWidth);

} // namespace kestrova::engine
