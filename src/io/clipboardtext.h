// The rules for taking clipboard text in: the 32767-byte limit and the recognition of JIS text.
// Qt-free: the clipboard itself is read in platform.
#pragma once

#include <string>
#include <string_view>

namespace kestrova::io {

// The most clipboard text taken in when conversion is on, in code page 932 bytes.
inline constexpr int kClipboardByteLimit = 32767;

struct ClipboardIntake
{
    std::u16string text;    // line ends CR LF
    bool cut = false;       // the text was over the limit and is cut: the user must be told
    int keptPercent = 0;    // when cut: 3276700 ÷ its byte count, 0 for a text over 3.3 MB
    bool converted = false; // JIS text was converted
};

// The reading rules. Line ends of every kind become CR LF. With convMode 1, a text of more than
// 32767 bytes is cut to the whole characters of its first 32767 bytes (a character without a
// code page 932 form counts its column width), and a text that holds ESC, SO or SI is read as
// JIS; every other text stays as it is, so no clipboard text is ever re-read as EUC. No
// character is ever lost: characters without a code page 932 form are kept where they stand,
// and JIS that does not convert cleanly is left unconverted.
[[nodiscard]] ClipboardIntake takeClipboardText(std::u16string_view text, int convMode);

} // namespace kestrova::io
