// The clipboard's plain text, read and written through Qt, under the reading rules of
// io/clipboardtext.h.
#pragma once

#include "io/clipboardtext.h"

#include <QString>

#include <string>
#include <string_view>

class QWidget;

namespace kestrova::platform {

// The reading rules live in io, beside the code converter; their names stay reachable here.
using io::ClipboardIntake;
using io::kClipboardByteLimit;
using io::takeClipboardText;

// The clipboard's plain text, empty when there is none or the clipboard cannot be read.
[[nodiscard]] std::u16string clipboardText();

struct ClipboardRead
{
    std::u16string text;
    bool unreadable = false; // text was offered but could not be had: its owner did not answer
};
[[nodiscard]] ClipboardRead readClipboardText();

// This desktop hands a program the clipboard only while one of its windows has the keyboard
// focus (Wayland): before that, the clipboard reads as empty whatever it holds.
[[nodiscard]] bool clipboardNeedsFocus();

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
