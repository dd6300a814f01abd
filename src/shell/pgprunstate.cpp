#include "shell/pgprunstate.h"

#include "pgpui/pgpcommand.h"
#include "platform/messages.h"

namespace kestrova::shell {

PgpRunState::PgpRunState(QWidget& window, pgpui::PgpRunner& runner, std::vector<QWidget*> held,
                         QWidget* focus)
    : QObject(&window)
    , m_window(window)
    , m_runner(runner)
    , m_held(held.begin(), held.end())
    , m_focus(focus)
{
    connect(&runner, &pgpui::PgpRunner::runningChanged, this, &PgpRunState::pgpRunning);
}

bool PgpRunState::holdsClose()
{
    if (!m_runner.running())
        return false;
    if (platform::askYesNo(
            &m_window, QStringLiteral("PGP の処理が終わっていません。中止して終了しますか？"))) {
        m_closeAfterPgp = true;
        m_runner.cancel(); // no report: nobody will be there to read it
    }
    return true;
}

void PgpRunState::closeAfterPgp()
{
    if (!m_closeAfterPgp)
        return;
    m_closeAfterPgp = false;
    m_window.close();
}

void PgpRunState::pgpRunning(bool running)
{
    // A disabled text box takes no keys (Ctrl+O, Ctrl+V) and no drops.
    for (const QPointer<QWidget>& widget : m_held)
        if (widget)
            widget->setEnabled(!running);
    if (!running && m_focus)
        m_focus->setFocus();
}

} // namespace kestrova::shell
