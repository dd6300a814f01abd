// The clipboard's plain text and the rules for taking it in: the 32767-byte limit and the
// recognition of JIS text.
#pragma once

#include <QString>

#include <string>
#include <string_view>

class QWidget;

namespace kestrova::platform {

// The most clipboard text taken in when conversion is on, in code page 932 bytes.
inline constexpr int kClipboardByteLimit = 32767;

struct ClipboardIntake
{
    std::u16string text;    // line ends CR LF
    int keptPercent = 0;    // set when the text was cut: 3276700 ÷ its byte count
    bool converted = false; // JIS text was converted
};

// The reading rules. Line ends of every kind become CR LF. With convMode 1, a text of more than
// 32767 bytes is cut to the whole characters of its first 32767 bytes (a character without a
// code page 932 form counts its column width), and a text that holds ESC, SO or SI is read as
// JIS; every other text stays as it is, so no clipboard text is ever re-read as EUC. No
// character is ever lost: characters without a code page 932 form are kept where they stand,
// and JIS that does not convert cleanly is left unconverted.
[[nodiscard]] ClipboardIntake takeClipboardText(std::u16string_view text, int convMode);

// The clipboard's plain text, empty when there is none or the clipboard cannot be read.
[[nodiscard]] std::u16string clipboardText();

// Empties the clipboard, then puts text (CR LF line ends) on it as plain text with LF line
// ends, as programs here expect.
void putOnClipboard(std::u16string_view text);

// Empties the clipboard.
void clearClipboard();

// The clipboard text under the reading rules, for a caller that wants the text rather than a
// text box; a cut is announced with "…％しか読みこめません".
[[nodiscard]] std::u16string ReadClipboard(int convMode, QWidget* parent);

// "ｻｲｽﾞが大きいので " N ending: the size message of a cut.
[[nodiscard]] QString sizeMessage(int percent, const QString& ending);

} // namespace kestrova::platform
