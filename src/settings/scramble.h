// Light, keyless obfuscation of the pass phrase stored in Kestrova.ini: EasyScranble.
#pragma once

#include <string>
#include <string_view>

namespace kestrova::settings {

// direction 0 unscrambles, any other value scrambles. Each printable ASCII byte (32-126) of
// the code page 932 form is shifted by a number drawn from a generator seeded with the byte
// count; other bytes, the second bytes of two-byte characters and characters without a code
// page 932 form are kept, so every text comes back whole.
[[nodiscard]] std::u16string EasyScranble(std::u16string_view text, int direction);

} // namespace kestrova::settings
