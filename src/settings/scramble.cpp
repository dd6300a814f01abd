#include "settings/scramble.h"

#include "engine/cp932.h"

#include <random>

namespace kestrova::settings {

using engine::appendCodePoint;
using engine::cp932Char;
using engine::cp932Code;
using engine::nextCodePoint;
using engine::textWidth;

std::u16string EasyScranble(std::u16string_view text, int direction)
{
    // std::minstd_rand's sequence is fixed by the C++ standard, so a stored value reads back
    // the same on every machine and build.
    std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(textWidth(text)));
    const auto draw = [&] {
        const std::uint64_t x = generator() - std::minstd_rand::min();
        return static_cast<int>(x * 95 / (std::minstd_rand::max() - std::minstd_rand::min() + 1));
    };
    const auto shift = [&](int v) {
        if (v < 32 || v > 126)
            return v;
        const int c = v - 32;
        const int s = draw();
        const int t = direction != 0 ? c + s : c + 95 - s;
        return t % 95 + 32;
    };

    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = nextCodePoint(text, i);
        const auto code = cp932Code(cp);
        if (!code || *code > 0xFF) {
            // A two-byte character: its lead byte is never printable, and its second byte is
            // kept so that the pair stays a character.
            appendCodePoint(out, cp);
            continue;
        }
        const auto back = cp932Char(static_cast<std::uint16_t>(shift(*code)));
        appendCodePoint(out, back.value_or(cp));
    }
    return out;
}

} // namespace kestrova::settings
