#include "pgpui/tray.h"

#include "io/textcodec.h"
#include "pgp/trayprotocol.h"
#include "pgpui/pgpcommand.h"
#include "platform/clipboard.h"
#include "platform/clipsave.h"
#include "platform/messages.h"
#include "platform/qtext.h"

#include <QEventLoop>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

#include <memory>
#include <optional>

namespace kestrova::pgpui {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectMs = 2000;
constexpr std::chrono::milliseconds kPollInterval{50};
// A topmost request needs no person: a tray that takes longer is taken as hung.
constexpr std::chrono::seconds kTopMostLimit{10};

// The clipboard carries the text to the tray; whatever happens, the user gets theirs back.
class ClipboardKeeper
{
public:
    ClipboardKeeper()
        : m_copy(platform::SaveClipboard())
    {
    }
    ~ClipboardKeeper() { platform::RestoreClipboard(m_copy); }
    ClipboardKeeper(const ClipboardKeeper&) = delete;
    ClipboardKeeper& operator=(const ClipboardKeeper&) = delete;

private:
    platform::ClipboardCopy m_copy;
};

void plainMessage(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(platform::kAppTitle), text,
                    QMessageBox::Ok, parent);
    box.exec();
}

// The tray's one-line answer, read while the window's events go on; nullopt when the tray
// went away, the time ran out or the user chose "中止".
std::optional<int> awaitAnswer(QLocalSocket& tray, std::chrono::milliseconds limit,
                               const TrayWait& wait, QWidget* progressParent)
{
    const auto started = Clock::now();
    QPointer<QWidget> parent(progressParent);
    std::unique_ptr<QProgressDialog> progress;
    bool userStop = false;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(kPollInterval);
    const auto poll = [&] {
        const auto now = Clock::now();
        if (tray.canReadLine() || tray.state() != QLocalSocket::ConnectedState || userStop ||
            (wait.stopRequested && *wait.stopRequested) || now - started >= limit) {
            loop.quit();
            return;
        }
        if (!progress && progressParent && now - started >= wait.progressDelay) {
            progress = stopProgress(parent.data(), QStringLiteral("PGPtray の処理を待っています…"),
                                    loop, userStop);
        }
    };
    QObject::connect(&tick, &QTimer::timeout, &loop, poll);
    QObject::connect(&tray, &QLocalSocket::readyRead, &loop, poll);
    QObject::connect(&tray, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
    if (!tray.canReadLine()) {
        tick.start();
        loop.exec();
        tick.stop();
    }
    if (!tray.canReadLine())
        return std::nullopt;
    bool number = false;
    const int answer = tray.readLine().trimmed().toInt(&number);
    return number ? std::optional<int>(answer) : std::nullopt;
}

bool sendLine(QLocalSocket& tray, const std::string& line)
{
    tray.write(QByteArray::fromStdString(line + "\n"));
    return tray.flush() || tray.bytesToWrite() == 0;
}

} // namespace

bool SetTopMost(QLocalSocket& tray, const TrayWait& wait)
{
    if (!sendLine(tray, pgp::kTopMostRequest))
        return false;
    const auto answer = awaitAnswer(
        tray, std::min<std::chrono::milliseconds>(wait.timeLimit, kTopMostLimit), wait, nullptr);
    return answer == static_cast<int>(pgp::TrayAnswer::Done);
}

pgp::PgpResult PgpTraySend(int id, int viewMini, QWidget* parent, const TrayWait& wait)
{
    QPointer<QWidget> window(parent);
    QLocalSocket tray;
    const QString path =
        wait.socketPath.isEmpty() ? QString::fromStdString(pgp::traySocketPath()) : wait.socketPath;
    if (!path.isEmpty())
        tray.connectToServer(path);
    if (path.isEmpty() || !tray.waitForConnected(kConnectMs)) {
        QMessageBox::critical(window.data(), QString::fromLatin1(platform::kAppTitle),
                              QStringLiteral("PGPtrayが起動していません。"));
        return pgp::PgpResult::TrayMissing;
    }
    if (viewMini == 1)
        static_cast<void>(SetTopMost(tray, wait)); // the command runs all the same
    if (!sendLine(tray, pgp::commandRequest(id)))
        return pgp::PgpResult::Cancelled;
    const auto answer = awaitAnswer(tray, wait.timeLimit, wait, window.data());
    return answer == 0 ? pgp::PgpResult::Done : pgp::PgpResult::Cancelled;
}

pgp::PgpResult PgpTrayRun(int version, std::string_view word, std::u16string& text,
                          const pgp::PgpSettings& settings, QWidget* parent, const TrayWait& wait)
{
    QPointer<QWidget> window(parent);
    if (text.empty()) {
        plainMessage(window.data(), QStringLiteral("クリップボードが空です"));
        return pgp::PgpResult::Cancelled;
    }
    const int jisFlag = word == "encrypt" ? 1 : word == "sign" ? 2 : word == "check" ? 4 : 0;
    std::u16string handed = text;
    if ((settings.JisConvMode & jisFlag) != 0) {
        // Refused as on the PGP.EXE path, naming the character: one that ISO-2022-JP has no
        // form for, or a half-width katakana in a mail to be signed, which the way would change.
        // The plan names no known word, so gpg is not looked for: the tray runs it, not we.
        pgp::BatchPlan plan;
        plan.word = std::string(word);
        plan.jis = true;
        if (const auto refusal = pgp::refusalBeforeAsking(plan, {}, text); !refusal.empty()) {
            QMessageBox box(QMessageBox::Warning, QString::fromLatin1(platform::kAppTitle),
                            platform::toQString(refusal), QMessageBox::Ok, window.data());
            box.exec();
            return pgp::PgpResult::Cancelled;
        }
        // ISO-2022-JP is 7-bit: each of its bytes is one character on the clipboard.
        auto jis = io::encodeText(text, io::OutputCode::Jis, true);
        if (!jis) {
            platform::showLimitMessage(window.data(), QString::fromStdString(jis.error().reason));
            return pgp::PgpResult::Cancelled;
        }
        handed =
            platform::toU16(QString::fromLatin1(jis->data(), static_cast<qsizetype>(jis->size())));
    }

    ClipboardKeeper keeper;
    platform::putOnClipboard(handed);
    const auto id = pgp::trayCommandId(version, word, settings.EncryptMode);
    if (word == "add") {
        static_cast<void>(PgpTraySend(*id, settings.ViewMini, window.data(), wait));
        return pgp::PgpResult::Cancelled; // the text is never taken back
    }
    if (!id) {
        plainMessage(window.data(), QStringLiteral("未対応です"));
        return pgp::PgpResult::Cancelled;
    }
    const pgp::PgpResult result = PgpTraySend(*id, settings.ViewMini, window.data(), wait);
    if (result == pgp::PgpResult::Done)
        text = platform::ReadClipboard(settings.ConvMode, window.data());
    return result;
}

} // namespace kestrova::pgpui
