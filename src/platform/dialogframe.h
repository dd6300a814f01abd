// The frame of a modal dialog: a title and a close box only, and no way to be minimised away
// from the window it was opened over.
#pragma once

#include <QDialog>
#include <QEvent>
#include <QTimer>

namespace kestrova::platform {

// No minimise or maximise box: a modal dialog minimised on its own would leave its owner
// disabled with nothing on screen to answer.
inline constexpr Qt::WindowFlags kDialogFrameFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// Some window managers offer to minimise a dialog whatever its hints say; the dialog comes back
// at once, so that it never disappears while its owner waits for it.
class StayShown : public QObject
{
public:
    explicit StayShown(QDialog* dialog)
        : QObject(dialog)
        , m_dialog(dialog)
    {
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_dialog && event->type() == QEvent::WindowStateChange &&
            (m_dialog->windowState() & Qt::WindowMinimized)) {
            // Not inside the state change itself: the window manager is still delivering it.
            QTimer::singleShot(0, m_dialog, [dialog = m_dialog] {
                dialog->setWindowState(dialog->windowState() & ~Qt::WindowMinimized);
                dialog->raise();
                dialog->activateWindow();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QDialog* m_dialog;
};

// Gives dialog the frame above. Its owner is its parent widget: Qt makes the dialog transient
// for the parent's window, so the window manager keeps the two together.
inline void frameAsModalDialog(QDialog* dialog)
{
    dialog->setWindowFlags(kDialogFrameFlags);
    new StayShown(dialog);
}

} // namespace kestrova::platform
