// The main window while a PGP command runs: what is held, and a close asked for meanwhile.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

namespace kestrova::pgpui {
class PgpRunner;
}

namespace kestrova::shell {

// kestrova-command must end and wipe its work files before the window goes, and only one
// command may run at a time: while one runs, the controls that could start another or change
// the text are disabled, and a close stops the command and waits for its end.
class PgpRunState : public QObject
{
    Q_OBJECT

public:
    // held: the controls disabled during a run; focus: where the keyboard goes after it.
    PgpRunState(QWidget& window, pgpui::PgpRunner& runner, std::vector<QWidget*> held,
                QWidget* focus);

    // A close of the window: while a command runs, asks whether to stop it and leave, and
    // keeps the window open for now (true); otherwise the close may go on (false).
    [[nodiscard]] bool holdsClose();
    // Closes the window when the user chose to leave during the command that has just ended.
    void closeAfterPgp();

private:
    // A PGP command started or ended.
    void pgpRunning(bool running);

    QWidget& m_window;
    pgpui::PgpRunner& m_runner;
    std::vector<QPointer<QWidget>> m_held;
    QPointer<QWidget> m_focus;
    bool m_closeAfterPgp = false; // closing was asked for while a PGP command ran
};

} // namespace kestrova::shell
