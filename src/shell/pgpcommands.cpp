// The PGP commands in the main window: the five undoable buttons and "鍵追加", the strip that
// holds them, and the window's state while a command runs.
#include "pgpui/pgpcommand.h"
#include "shell/mainwindow.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>

namespace kestrova::shell {

void dorUrerUvuroze::cmdPGPCheck_Click() { runPgpUndoable(UndoCommand::PgpCheck, "check"); }
void dorUrerUvuroze::cmdPGPSign_Click() { runPgpUndoable(UndoCommand::PgpSign, "sign"); }
void dorUrerUvuroze::cmdPGPCript_Click() { runPgpUndoable(UndoCommand::PgpCript, "encrypt"); }
void dorUrerUvuroze::cmdPGPPubKey_Click() { runPgpUndoable(UndoCommand::PgpPubKey, "pubkey"); }

void dorUrerUvuroze::cmdPGPFingerPrint_Click()
{
    runPgpUndoable(UndoCommand::PgpFingerPrint, "finger");
}

// The text box, the undo slot and the clipboard stay as they are; the viewer shows what PGP did.
void dorUrerUvuroze::cmdPGPKeyAdd_Click()
{
    if (m_pgp->running())
        return;
    std::u16string copy = boxText();
    m_pgp->setViewFontFace(txtData->font().family());
    static_cast<void>(m_pgp->PgpCommand("add", copy, -1, pgpui::pgpSettingsOf(m_settings)));
    closeAfterPgp();
}

// No busy pointer while PGP runs: it would stand over the pass-phrase dialog and the viewer.
// The progress window and the disabled controls show the run instead.
void dorUrerUvuroze::runPgpUndoable(UndoCommand k, std::string_view word)
{
    if (m_pgp->running())
        return;
    if (m_undo.offers(k)) {
        runUndoable(k, {}); // the undo half never runs the work
        return;
    }
    const UndoSlot::Pending pending = m_undo.begin(k, boxText());
    std::u16string copy = pending.before;
    m_pgp->setViewFontFace(txtData->font().family());
    const pgp::PgpResult result =
        m_pgp->PgpCommand(word, copy, -1, pgpui::pgpSettingsOf(m_settings));
    // The text box is disabled while PGP runs; should the text have changed all the same, the
    // newer text wins and PGP's result is not forced over it. A failure PGP reported touches
    // neither the text nor the clipboard: the viewer has said what went wrong.
    if (result != pgp::PgpResult::Failed && !m_undo.overtaken(pending))
        finishUndoable(pending, result == pgp::PgpResult::Done ? copy : pending.before);
    closeAfterPgp();
}

void dorUrerUvuroze::pgpRunning(bool running)
{
    // The command strips hold every button that starts a command; a disabled text box takes no
    // keys (Ctrl+O, Ctrl+V) and no drops.
    picCmdTray->setEnabled(!running);
    picPgpTray->setEnabled(!running);
    txtData->setEnabled(!running);
    if (!running)
        txtData->setFocus();
}

void dorUrerUvuroze::closeAfterPgp()
{
    if (!m_closeAfterPgp)
        return;
    m_closeAfterPgp = false;
    close();
}

void dorUrerUvuroze::PGP_View()
{
    if (m_settings.PgpFlg != 0) {
        cmdPGPPubKey->setEnabled(m_settings.PgpVer == 0);
        cmdPGPFingerPrint->setEnabled(m_settings.PgpVer == 0);
        picPgpTray->show();
    } else {
        picPgpTray->hide();
    }
}

} // namespace kestrova::shell
