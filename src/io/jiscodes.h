// The byte arithmetic the Japanese code converters share: JIS X 0208 rows and cells of
// Shift_JIS pairs and back, and the classes of bytes they read.
#pragma once

#include "io/jis2sjis.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrova::io::jiscodes {

constexpr std::uint8_t kSs2 = 0x8E;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

struct JisPair
{
    int row;
    int cell;
};

constexpr JisPair kGeta{0x22, 0x2E}; // 〓, stands in for what JIS X 0208 cannot hold

constexpr bool isHalfWidthKana(std::uint8_t b) { return b >= 0xA0 && b <= 0xDF; }

constexpr bool isSjisTrail(std::uint8_t b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

constexpr JisPair sjisToJisPair(int lead, int trail)
{
    // Written without branches on the trail byte, which text in the JIS and EUC-JP writers
    // gives no pattern to.
    const int row = 2 * (lead - (lead < 0xA0 ? 113 : 177)) + 1 + (trail >= 0x9F ? 1 : 0);
    const int cell = trail < 0x80 ? trail - 31 : trail < 0x9F ? trail - 32 : trail - 126;
    return {row, cell};
}

using ByteTable = std::array<std::uint8_t, 256>;

// Row of each lead byte for trails below 0x9F (one more above), 0 where neither row is one of
// JIS X 0208's: lead 0x80 and 0xF0-0xFF (user-defined and extension areas).
constexpr ByteTable kRowOfLead = [] {
    ByteTable rows{};
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        const int row = sjisToJisPair(lead, 0x40).row;
        if (!isHalfWidthKana(static_cast<std::uint8_t>(lead)) && row >= 0x21 && row <= 0x7D) {
            rows[static_cast<std::size_t>(lead)] = static_cast<std::uint8_t>(row);
        }
    }
    return rows;
}();

// Cell of each trail byte, 0 for a byte that cannot be a trail.
constexpr ByteTable kCellOfTrail = [] {
    ByteTable cells{};
    for (int trail = 0; trail <= 0xFF; ++trail) {
        if (isSjisTrail(static_cast<std::uint8_t>(trail))) {
            cells[static_cast<std::size_t>(trail)] =
                static_cast<std::uint8_t>(sjisToJisPair(0x81, trail).cell);
        }
    }
    return cells;
}();

// A step of the JIS to Shift_JIS arithmetic that would leave the byte range is skipped, so the
// value keeps what it had; malformed kanji runs still convert to some pair.
constexpr void addWithinByte(int& value, int delta)
{
    if (value + delta >= 0 && value + delta <= 0xFF) {
        value += delta;
    }
}

// Writes the Shift_JIS pair of JIS row j1 and cell j2 at out.
constexpr void putSjisPair(std::uint8_t* out, int j1, int j2)
{
    if (j1 >= 0x21 && j1 <= 0x7E && j2 >= 0x21 && j2 <= 0x7E) {
        // Within JIS X 0208 no step can leave the byte range.
        int s1 = ((j1 - 0x21) >> 1) + 0x81;
        if (s1 > 0x9F) {
            s1 += 0x40;
        }
        int s2 = j2 + ((j1 & 1) != 0 ? 0x1F : 0x7D);
        if (s2 >= 0x7F) {
            ++s2;
        }
        out[0] = static_cast<std::uint8_t>(s1);
        out[1] = static_cast<std::uint8_t>(s2);
        return;
    }
    int s2 = j2;
    addWithinByte(s2, (j1 & 1) != 0 ? 0x1F : 0x7D);
    if (s2 >= 0x7F) {
        addWithinByte(s2, 1);
    }
    int s1 = j1;
    addWithinByte(s1, -0x21);
    s1 /= 2;
    addWithinByte(s1, 0x81);
    if (s1 > 0x9F) {
        addWithinByte(s1, 0x40);
    }
    out[0] = static_cast<std::uint8_t>(s1);
    out[1] = static_cast<std::uint8_t>(s2);
}

// 1 for the bytes first to last, 0 for the others.
constexpr ByteTable byteRange(int first, int last)
{
    ByteTable range{};
    for (int b = first; b <= last; ++b)
        range[static_cast<std::size_t>(b)] = 1;
    return range;
}

// Bytes a JIS row or cell can be, in the rows of JIS X 0208.
constexpr ByteTable kJisRowOrCell = byteRange(0x21, 0x7E);

// putSjisPair by table, for the readers' inner loops: the lead by the row, the trail by the cell
// and the row's parity (odd rows at 0x100 + cell, even ones at the cell).
constexpr ByteTable kSjisLeadOfRow = [] {
    ByteTable leads{};
    for (int row = 0x21; row <= 0x7E; ++row) {
        std::uint8_t pair[2] = {};
        putSjisPair(pair, row, 0x21);
        leads[static_cast<std::size_t>(row)] = pair[0];
    }
    return leads;
}();
constexpr std::array<std::uint8_t, 512> kSjisTrailOfCell = [] {
    std::array<std::uint8_t, 512> trails{};
    for (int odd = 0; odd <= 1; ++odd) {
        for (int cell = 0x21; cell <= 0x7E; ++cell) {
            std::uint8_t pair[2] = {};
            putSjisPair(pair, 0x22 - odd, cell);
            trails[static_cast<std::size_t>(256 * odd + cell)] = pair[1];
        }
    }
    return trails;
}();

// row and cell are 0x21-0x7E.
inline void putSjisPairOfRow(std::uint8_t* out, std::uint8_t row, std::uint8_t cell)
{
    out[0] = kSjisLeadOfRow[row];
    out[1] = kSjisTrailOfCell[((row & 1U) << 8) | cell];
}

// The Shift_JIS code (lead << 8 | trail) of a pair as putSjisPairOfRow writes it.
inline unsigned sjisOfRow(std::uint8_t row, std::uint8_t cell)
{
    return static_cast<unsigned>(kSjisLeadOfRow[row]) << 8 |
           kSjisTrailOfCell[((row & 1U) << 8) | cell];
}

// The state that ESC a f designates: kanji for ESC $ B and ESC $ @, katakana for ESC ( I,
// ASCII for ESC ( B and ESC ( J; -1 for any other escape, which no JIS reader takes.
constexpr int jisDesignation(std::uint8_t a, std::uint8_t f)
{
    if (a == '$' && (f == 'B' || f == '@'))
        return kKanjiState;
    if (a == '(' && (f == 'B' || f == 'J'))
        return kAsciiState;
    if (a == '(' && f == 'I')
        return kKanaState;
    return -1;
}

inline std::uint8_t* putEscape(std::uint8_t* out, std::uint8_t intermediate, std::uint8_t final)
{
    out[0] = kEsc;
    out[1] = intermediate;
    out[2] = final;
    return out + 3;
}

// The one way JIS and EUC-JP are written, by the byte converters and by the encoder of decoded
// text alike: a character as its bytes, after the JIS escape that designates its set when shift,
// the JIS writer's state, is another. With jis false the bytes are EUC-JP's and shift stays.

inline std::uint8_t* shiftTo(std::uint8_t* out, bool jis, int& shift, int wanted)
{
    if (!jis || shift == wanted)
        return out;
    shift = wanted;
    return wanted == kKanjiState ? putEscape(out, '$', 'B')
                                 : putEscape(out, '(', wanted == kKanaState ? 'I' : 'B');
}

inline std::uint8_t* putAscii(std::uint8_t* out, bool jis, int& shift, std::uint8_t b)
{
    out = shiftTo(out, jis, shift, kAsciiState);
    *out = b;
    return out + 1;
}

// b is the katakana's Shift_JIS byte.
inline std::uint8_t* putKana(std::uint8_t* out, bool jis, int& shift, std::uint8_t b)
{
    out = shiftTo(out, jis, shift, kKanaState);
    if (jis) {
        *out = static_cast<std::uint8_t>(b - 0x80);
        return out + 1;
    }
    out[0] = kSs2;
    out[1] = b;
    return out + 2;
}

inline std::uint8_t* putPair(std::uint8_t* out, bool jis, int& shift, JisPair pair)
{
    out = shiftTo(out, jis, shift, kKanjiState);
    const int high = jis ? 0 : 0x80;
    out[0] = static_cast<std::uint8_t>(pair.row | high);
    out[1] = static_cast<std::uint8_t>(pair.cell | high);
    return out + 2;
}

} // namespace kestrova::io::jiscodes
