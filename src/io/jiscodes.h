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
inline void putSjisPair(std::uint8_t* out, int j1, int j2)
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

} // namespace kestrova::io::jiscodes
