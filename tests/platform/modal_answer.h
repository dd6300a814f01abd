// Answers the modal window that a call opens, for window tests: the call blocks in the
// window's own event loop, and a timer acts in it as the user would.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace kestrova::test {

// Runs action; when a new modal window has been up for two ticks in a row (so that its event
// loop runs), calls answer on it once. Should the answer have closed the window before its loop
// began, the window is ended again from inside the loop. Returns the window's title, or empty
// when action opened none.
inline QString answerModal(const std::function<void()>& action,
                           const std::function<void(QWidget*)>& answer)
{
    QString title;
    QWidget* const before = QApplication::activeModalWidget();
    QPointer<QWidget> seen;
    QPointer<QDialog> answered;
    bool done = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done) {
            if (answered && answered->isHidden())
                answered->done(answered->result());
            return;
        }
        QWidget* const modal = QApplication::activeModalWidget();
        if (!modal || modal == before || !modal->isVisible()) {
            seen = nullptr;
            return;
        }
        if (seen != modal) {
            seen = modal;
            return;
        }
        done = true;
        title = modal->windowTitle();
        answered = qobject_cast<QDialog*>(modal);
        answer(modal);
    });
    poll.start();
    action();
    return title;
}

} // namespace kestrova::test
