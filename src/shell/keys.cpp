// The editor keys the window takes over from the text box, access keys, and files dropped
// on the text.
#include "platform/clipboard.h"
#include "platform/qtext.h"
#include "shell/filedrop.h"
#include "shell/mainwindow.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>

namespace kestrova::shell {

namespace {

using platform::toQString;

// The control codes of Ctrl with a letter, as the text box's key handler sees them.
constexpr int kCtrlA = 1;
constexpr int kCtrlC = 3;
constexpr int kCtrlO = 15;
constexpr int kCtrlS = 19;
constexpr int kCtrlV = 22;
constexpr int kCtrlX = 24;
constexpr int kCtrlZ = 26;

// The ASCII control code Ctrl with a letter makes, 0 for every other key.
int controlCode(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers mods = key->modifiers();
    if (!(mods & Qt::ControlModifier) || (mods & (Qt::AltModifier | Qt::MetaModifier)))
        return 0;
    if (key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z)
        return key->key() - Qt::Key_A + 1;
    return 0;
}

} // namespace

void dorUrerUvuroze::txtData_KeyPress(int& KeyAscii)
{
    switch (KeyAscii) {
    case kCtrlA:
        txtData->selectAll();
        break;
    case kCtrlC:
    case kCtrlX: {
        // Nothing selected: the clipboard is emptied, as a copy of nothing would leave it.
        const std::u16string selected = selectedText();
        if (selected.empty())
            platform::clearClipboard();
        else
            platform::putOnClipboard(selected);
        if (KeyAscii == kCtrlX) {
            txtData->textCursor().removeSelectedText();
            if (PluginMode)
                Modified = true;
        }
        break;
    }
    case kCtrlO:
        if (!PluginMode)
            LoadText();
        break;
    case kCtrlS:
        if (PluginMode) {
            if (writeText(PluginFile, boxText(),
                          QStringLiteral("元のファイルはそのまま残っています。")))
                Modified = false;
        } else {
            SaveText(boxText());
        }
        break;
    case kCtrlV: { // the clipboard text as it is, no conversion and no limit
        const std::u16string pasted = platform::clipboardText();
        if (!pasted.empty())
            txtData->insertPlainText(toQString(pasted));
        if (PluginMode)
            Modified = true;
        break;
    }
    case kCtrlZ: // the box's own undo stays out of reach
        break;
    default:
        return;
    }
    KeyAscii = 0;
}

// Only a local file reaches here: text, pictures and the like are not taken.
void dorUrerUvuroze::txtData_OLEDragDrop(const QString& file)
{
    if (FileRead(file))
        TextWrite();
}

bool dorUrerUvuroze::eventFilter(QObject* watched, QEvent* event)
{
    // An access key is a click, done at once: Qt would first show the button pressed for a
    // tenth of a second, and Alt+S is the key people press most.
    if (event->type() == QEvent::Shortcut) {
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button != nullptr && !static_cast<QShortcutEvent*>(event)->isAmbiguous()) {
            if (button->isEnabled())
                button->click();
            return true;
        }
    }
    if (watched == txtData && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Alt with a key is a command: an access key no visible button answers does nothing,
        // rather than typing its letter into the mail.
        if ((key->modifiers() & Qt::AltModifier) && !(key->modifiers() & Qt::ControlModifier))
            return true;
        int KeyAscii = controlCode(key);
        if (KeyAscii != 0) {
            txtData_KeyPress(KeyAscii);
            if (KeyAscii == 0)
                return true;
        }
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kestrova::shell
