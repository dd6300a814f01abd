// Widening of half-width katakana: HanToZenBytes and its text form.
#pragma once

#include <string>
#include <string_view>

namespace kestrova::engine {

// Replaces the code page 932 bytes by their widened form: every half-width kana (0xA0-0xDF)
// becomes its full-width character, merged with a following voiced or semi-voiced mark where
// Japanese has one character for the pair. Two-byte characters are copied whole.
void HanToZenBytes(std::string& bytes);

// The same widening on text; characters without a code page 932 form are kept as they are.
[[nodiscard]] std::u16string widenKana(std::u16string_view text);

} // namespace kestrova::engine
