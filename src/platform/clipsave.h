// The user's clipboard kept aside while the clipboard carries a text to kestrova-tray and
// back: its plain text and its RTF, nothing else.
#pragma once

#include <QByteArray>
#include <QString>

namespace kestrova::platform {

struct ClipboardCopy
{
    bool hasText = false; // the clipboard offered plain text; nothing else is kept without it
    QString text;
    QByteArray rtf;            // text/rtf
    QByteArray applicationRtf; // application/rtf, kept too when a program offered it
    bool hasRtf = false;
    bool hasApplicationRtf = false;
};

// What the clipboard holds now, as far as it is kept.
[[nodiscard]] ClipboardCopy SaveClipboard();

// Empties the clipboard and, when the copy holds plain text, puts it back with its RTF.
void RestoreClipboard(const ClipboardCopy& copy);

} // namespace kestrova::platform
