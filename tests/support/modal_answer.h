// Answers the modal window that a call opens, for window tests: the call blocks in the
// window's own event loop, and a timer acts in it as the user would.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <QStringList>
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

// What a folder chooser showed on opening: the folder it lists and the entry selected in it.
struct ChooserView
{
    QString directory;
    QStringList selected;
};

// Answers the folder chooser modal as a user would: types name (a folder in the one it lists)
// and accepts, or cancels when name is empty.
inline ChooserView answerFolderChooser(QWidget* modal, const QString& name)
{
    auto* chooser = qobject_cast<QFileDialog*>(modal);
    if (!chooser)
        qFatal("the modal window is no folder chooser");
    ChooserView view{chooser->directory().absolutePath(), chooser->selectedFiles()};
    if (name.isEmpty()) {
        chooser->reject();
        return view;
    }
    chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
    static_cast<QDialog*>(chooser)->accept(); // as the chooser's own button does
    return view;
}

} // namespace kestrova::test
