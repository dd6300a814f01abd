#include "pgpui/pgpcommand.h"

#include "pgp/indent.h"
#include "pgp/secret.h"
#include "pgpui/keyremoval.h"
#include "pgpui/passphrase.h"
#include "pgpui/tray.h"
#include "pgpui/view.h"
#include "platform/messages.h"
#include "platform/programfiles.h"
#include "platform/qtext.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QTimer>

#include <memory>

namespace kestrova::pgpui {

namespace {

using Clock = std::chrono::steady_clock;

// The front end inside kestrova-command stops gpg after two minutes; the window waits a little
// longer so that the report of that reaches the viewer.
constexpr std::chrono::minutes kDefaultTimeLimit{3};
// How long a process asked to stop may take to end before it is killed.
constexpr std::chrono::seconds kStopGrace{5};
constexpr std::chrono::milliseconds kPollInterval{50};

// Ends the running state however the command ends.
class RunningFlag
{
public:
    RunningFlag(bool& flag, PgpRunner& runner, void (PgpRunner::*changed)(bool))
        : m_flag(flag)
        , m_runner(runner)
        , m_changed(changed)
    {
        m_flag = true;
        (m_runner.*m_changed)(true);
    }
    ~RunningFlag()
    {
        m_flag = false;
        (m_runner.*m_changed)(false);
    }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& m_flag;
    PgpRunner& m_runner;
    void (PgpRunner::*m_changed)(bool);
};

} // namespace

pgp::PgpSettings pgpSettingsOf(const settings::Settings& settings)
{
    pgp::PgpSettings pgpSettings;
    pgpSettings.PgpVer = settings.PgpVer;
    pgpSettings.EncryptMode = settings.EncryptMode;
    pgpSettings.JisConvMode = settings.JisConvMode;
    pgpSettings.ViewMini = settings.ViewMini;
    pgpSettings.EnvSize = settings.EnvSize;
    pgpSettings.ConvMode = settings.ConvMode;
    pgpSettings.PgpPath = settings.PgpPath;
    pgpSettings.TimeZone = settings.TimeZone;
    pgpSettings.UserID = settings.UserID;
    pgpSettings.PassPhrase = settings.PassPhrase;
    return pgpSettings;
}

std::unique_ptr<QProgressDialog> stopProgress(QWidget* parent, const QString& text,
                                              QEventLoop& loop, bool& userStop)
{
    auto progress = std::make_unique<QProgressDialog>(parent);
    progress->setWindowModality(Qt::NonModal); // the window stays readable meanwhile
    progress->setWindowTitle(QString::fromLatin1(platform::kAppTitle));
    progress->setLabelText(text);
    progress->setCancelButtonText(QStringLiteral("中止"));
    progress->setRange(0, 0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    QObject::connect(progress.get(), &QProgressDialog::canceled, &loop,
                     [&userStop] { userStop = true; });
    progress->show();
    return progress;
}

WaitEnd WaitProcess(QProcess& process, const WaitOptions& options)
{
    const auto started = Clock::now();
    std::optional<Clock::time_point> killAt;
    WaitEnd end = WaitEnd::Finished;
    bool userStop = false;
    std::unique_ptr<QProgressDialog> progress;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(kPollInterval);

    const auto poll = [&] {
        if (process.state() == QProcess::NotRunning) {
            loop.quit();
            return;
        }
        const auto now = Clock::now();
        const bool stopAsked = userStop || (options.stopRequested && *options.stopRequested);
        if (!killAt) {
            if (stopAsked || (options.timeLimit && now - started >= *options.timeLimit)) {
                end = stopAsked ? WaitEnd::Cancelled : WaitEnd::TimedOut;
                process.terminate(); // kestrova-command ends its gpg, then itself
                killAt = now + kStopGrace;
            }
        } else if (now >= *killAt) {
            process.kill();
            killAt = now + std::chrono::hours(1);
        }
        if (!progress && !options.progressText.isEmpty() && !killAt &&
            now - started >= options.progressDelay) {
            progress = stopProgress(options.progressParent, options.progressText, loop, userStop);
        }
    };
    QObject::connect(&tick, &QTimer::timeout, &loop, poll);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning) {
        tick.start();
        loop.exec();
        tick.stop();
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    return end;
}

PgpRunner::PgpRunner(QWidget* window, UserListSlots& UserList)
    : QObject(window)
    , m_window(window)
    , m_userList(UserList)
    , m_commandProgram(platform::helperProgram(QCoreApplication::applicationDirPath(),
                                               QStringLiteral("kestrova-command")))
    , m_timeLimit(kDefaultTimeLimit)
{
}

PgpRunner::~PgpRunner() = default;

pgp::PgpResult PgpRunner::PgpCommand(std::string_view word, std::u16string& text, int version,
                                     const pgp::PgpSettings& settings,
                                     const pgp::Overrides& overrides)
{
    // The work files have fixed names: a second command would read the first one's files.
    if (m_running)
        return pgp::PgpResult::Cancelled;
    const RunningFlag runningFlag(m_running, *this, &PgpRunner::runningChanged);
    m_leaving = false;
    const bool indented = word == "check" || word == "add";
    const int width = indented ? pgp::CutIndent(text) : 0;
    const int v = version < 0 ? settings.PgpVer : version;
    pgp::PgpResult result = pgp::PgpResult::Cancelled;
    if (v == 0) {
        result = PgpBatchRun(word, text, settings, overrides);
    } else {
        // The window may be closed while the tray works: that stops the wait as it stops
        // kestrova-command, and the user's clipboard is given back all the same.
        TrayWait wait = m_trayWait;
        m_cancelAsked = false;
        wait.stopRequested = &m_cancelAsked;
        result = PgpTrayRun(v, word, text, settings, m_window.data(), wait);
    }
    if (indented)
        pgp::AddIndent(text, width);
    return result;
}

pgp::PgpResult PgpRunner::PgpBatchRun(std::string_view word, std::u16string& text,
                                      const pgp::PgpSettings& settings,
                                      const pgp::Overrides& overrides)
{
    pgp::BatchRunContext context;
    context.settings = settings;
    context.overrides = overrides;
    context.environment = pgp::currentEnvironment();
    context.tempDir = m_tempDir;
    context.commandProgram = platform::toFsPath(m_commandProgram);

    pgp::BatchRunHooks hooks;
    hooks.InputPass = [this](std::u16string_view prompt) { return InputPass(prompt, m_window); };
    hooks.InputId = [this, word, &context](std::u16string_view prompt) {
        auto id = InputId(prompt, m_userList, m_window);
        // A removed key cannot be got back: the one the ID names is confirmed first.
        if (id && word == "remove" && !mayRemoveKey(*id, keyRingOf(word, context), m_window))
            id.reset();
        return id;
    };
    hooks.run = [this](const std::vector<std::string>& arguments, pgp::WindowStyle style) {
        return runCommand(arguments, style);
    };
    hooks.View = [this](std::u16string_view title, std::u16string_view shown) {
        if (m_leaving)
            return;
        fomView viewer(m_window);
        viewer.View(title, shown, m_viewFontFace);
    };
    hooks.message = [this](std::u16string_view said) { message(platform::toQString(said)); };
    return pgp::PgpBatchRun(word, text, context, hooks);
}

bool PgpRunner::runCommand(const std::vector<std::string>& arguments, pgp::WindowStyle style)
{
    if (arguments.empty())
        return false;
    QProcess process;
    process.setProgram(platform::fromFsPath(arguments.front()));
    QStringList rest;
    for (std::size_t i = 1; i < arguments.size(); ++i)
        rest.push_back(platform::fromFsPath(arguments[i]));
    process.setArguments(rest);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::MergedChannels);
    m_cancelAsked = false;
    process.start();
    if (!process.waitForStarted()) {
        message(QStringLiteral("PGP のコマンドを実行できませんでした。\n%1: %2")
                    .arg(process.program(), process.errorString()));
        return false;
    }
    WaitOptions options;
    // "command" lasts as long as the user works in the terminal.
    if (style == pgp::WindowStyle::MinimizedNoFocus) {
        options.timeLimit = m_timeLimit;
        options.progressText = QStringLiteral("PGP を実行しています…");
    }
    options.progressParent = m_window;
    options.stopRequested = &m_cancelAsked;
    const WaitEnd end = WaitProcess(process, options);
    const QString said = QString::fromUtf8(process.readAll()).trimmed();
    if (end == WaitEnd::TimedOut) {
        message(QStringLiteral("PGP の処理が時間内に終わらなかったので、中止しました。"));
    } else if (end == WaitEnd::Finished && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() != 0 && !said.isEmpty()) {
        // Complaints of the interpreter itself (a line it did not understand, no terminal):
        // they reach no output file.
        message(said);
    }
    return end == WaitEnd::Finished && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

void PgpRunner::cancel()
{
    if (m_running) {
        m_cancelAsked = true;
        m_leaving = true;
    }
}

void PgpRunner::message(const QString& text)
{
    if (m_leaving)
        return;
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(platform::kAppTitle), text,
                    QMessageBox::Ok, m_window);
    box.exec();
}

} // namespace kestrova::pgpui
