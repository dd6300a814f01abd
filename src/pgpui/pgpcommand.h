// The window side of the PGP command runner: PgpCommand with its dialogs, kestrova-command
// started and waited for (WaitProcess) while the window goes on, the result viewer, and the
// hand-over to kestrova-tray for the newer generations.
//
// Text is UTF-16 with CR LF line ends, as the main text box gives it.
#pragma once

#include "pgp/batch.h"
#include "pgpui/passphrase.h"
#include "pgpui/tray.h"
#include "settings/settingsfile.h"

#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QProcess;
class QWidget;

namespace kestrova::pgpui {

// The settings a PGP command reads, from the settings record: the one way the window, and the
// settings dialog's key commands through it, hand them over.
[[nodiscard]] pgp::PgpSettings pgpSettingsOf(const settings::Settings& settings);

// How a wait for a process ended.
enum class WaitEnd
{
    Finished,  // it ended by itself
    Cancelled, // the user asked it to stop and it has
    TimedOut,  // it ran past the time limit and was stopped
};

// What the user sees and can do while a process runs.
struct WaitOptions
{
    std::optional<std::chrono::milliseconds> timeLimit; // none: as long as it takes
    QWidget* progressParent = nullptr;                  // beside which the progress shows
    QString progressText;                               // empty: no progress indication
    std::chrono::milliseconds progressDelay{400};       // short runs show none
    const bool* stopRequested = nullptr;                // set by the window to stop the run
};

// Waits for the started process to end, processing window events meanwhile. A progress
// indication with a "中止" button appears after options.progressDelay; that button, the time
// limit or *options.stopRequested ends the process: SIGTERM, and SIGKILL if it is still there
// a few seconds later.
WaitEnd WaitProcess(QProcess& process, const WaitOptions& options);

// The non-modal "中止" window shown while a long wait goes on; "中止" sets userStop and the
// loop is woken to notice it.
std::unique_ptr<QProgressDialog> stopProgress(QWidget* parent, const QString& text,
                                              QEventLoop& loop, bool& userStop);

// Runs one PGP command at a time for a window.
class PgpRunner : public QObject
{
    Q_OBJECT

public:
    // window: the parent of the dialogs and the progress indication. UserList: the recent IDs
    // InputId offers and keeps, the settings record's slots.
    PgpRunner(QWidget* window, UserListSlots& UserList);
    ~PgpRunner() override;

    // kestrova-command; by default the one that came with the program.
    void setCommandProgram(const QString& path) { m_commandProgram = path; }
    // The private temporary folder; empty (the default): io::GetTempDir().
    void setTempDir(const std::string& folder) { m_tempDir = folder; }
    // How long one command other than "command" may run before it is stopped.
    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }
    // The font face of the main text box, for the viewer.
    void setViewFontFace(const QString& face) { m_viewFontFace = face; }
    // How the PGPtray path waits for kestrova-tray (its socket, its time limit); its
    // stopRequested is the runner's own.
    void setTrayWait(const TrayWait& wait) { m_trayWait = wait; }

    [[nodiscard]] bool running() const { return m_running; }

    // Runs word on text with settings (0 done, the text may have changed; -1 cancelled or
    // refused; -2 PGPtray missing; -3 PGP failed). version < 0 takes settings.PgpVer; 0 is the
    // PGP.EXE path. The overrides are the settings dialog's fields. While another command runs,
    // -1 at once.
    pgp::PgpResult PgpCommand(std::string_view word, std::u16string& text, int version,
                              const pgp::PgpSettings& settings,
                              const pgp::Overrides& overrides = {});

    // Stops the command under way, if any, because the user is leaving: it wipes its work files
    // as usual, but shows no report, since nobody is there to read it.
    void cancel();

signals:
    // A command has started (true) or ended (false): the window enables its controls by it.
    void runningChanged(bool running);

private:
    pgp::PgpResult PgpBatchRun(std::string_view word, std::u16string& text,
                               const pgp::PgpSettings& settings, const pgp::Overrides& overrides);
    bool runCommand(const std::vector<std::string>& arguments, pgp::WindowStyle style);
    void message(const QString& text);

    QPointer<QWidget> m_window;
    UserListSlots& m_userList;
    QString m_commandProgram;
    std::string m_tempDir;
    std::chrono::milliseconds m_timeLimit;
    QString m_viewFontFace;
    TrayWait m_trayWait;
    bool m_running = false;
    bool m_cancelAsked = false; // read by the waits for kestrova-command and kestrova-tray
    bool m_leaving = false;     // the user chose to stop and leave: no report
};

} // namespace kestrova::pgpui
