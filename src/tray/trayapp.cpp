#include "tray/trayapp.h"

#include "platform/appicon.h"
#include "tray/recipients.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QThread>
#include <QVBoxLayout>

#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrova::tray {

namespace {

constexpr int kConnectMs = 1000;
constexpr char kTitle[] = "kestrova-tray";

// The socket's file mode already keeps other users out; the peer's user id is checked as well,
// because a socket's permissions are not honoured everywhere.
bool sameUser(const QLocalSocket& client)
{
    ucred peer{};
    socklen_t size = sizeof(peer);
    const auto fd = static_cast<int>(client.socketDescriptor());
    return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::getuid();
}

struct MenuCommand
{
    const char* caption;
    int id;
};

// The commands of the 6.5.1i generation, and 5.5.3i's for keys, which adds without checking.
constexpr MenuCommand kMenuCommands[] = {
    {"署名", 40026},         {"暗号化", 40025}, {"暗号化と署名", 40027},
    {"復号化・検証", 40008}, {"鍵追加", 40006},
};

} // namespace

TrayApp::TrayApp(TrayGpg gpg, QString socketPath, QObject* parent)
    : QObject(parent)
    , m_gpg(std::move(gpg))
    , m_socketPath(std::move(socketPath))
{
    m_gpg.stop = &m_stop;
}

TrayApp::~TrayApp()
{
    m_stop = 1;
    if (m_icon)
        m_icon->hide();
    delete m_faceWindow.data();
}

TrayApp::Start TrayApp::start(QString* why)
{
    if (m_socketPath.isEmpty()) {
        *why = QStringLiteral("ソケットを置くフォルダがありません (XDG_RUNTIME_DIR)。");
        return Start::Failed;
    }
    QLocalSocket probe;
    probe.connectToServer(m_socketPath);
    if (probe.waitForConnected(kConnectMs))
        return Start::AlreadyRunning;
    // Nobody answered: a socket left behind by a copy that crashed is in the way.
    QLocalServer::removeServer(m_socketPath);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        *why = m_server->errorString();
        m_server.reset();
        return Start::Failed;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &TrayApp::acceptClients);
    return Start::Listening;
}

void TrayApp::showFace()
{
    m_menu = std::make_unique<QMenu>();
    auto* window = QSystemTrayIcon::isSystemTrayAvailable() ? nullptr : new QWidget;
    auto* layout = window ? new QVBoxLayout(window) : nullptr;
    for (const MenuCommand& command : kMenuCommands) {
        const QString caption = QString::fromUtf8(command.caption);
        const int id = command.id;
        const auto run = [this, id] { static_cast<void>(runCommand(id)); };
        if (window) {
            auto* button = new QPushButton(caption, window);
            connect(button, &QPushButton::clicked, this, run);
            layout->addWidget(button);
        } else {
            connect(m_menu->addAction(caption), &QAction::triggered, this, run);
        }
    }
    if (window) {
        auto* quit = new QPushButton(QStringLiteral("終了"), window);
        connect(quit, &QPushButton::clicked, qApp, &QApplication::quit);
        layout->addWidget(quit);
        window->setWindowTitle(QString::fromLatin1(kTitle));
        window->setWindowIcon(platform::appIcon());
        window->show();
        m_faceWindow = window;
        return;
    }
    m_menu->addSeparator();
    connect(m_menu->addAction(QStringLiteral("終了")), &QAction::triggered, qApp,
            &QApplication::quit);
    m_icon = new QSystemTrayIcon(platform::appIcon(), this);
    m_icon->setToolTip(QStringLiteral("kestrova-tray: クリップボードの PGP"));
    m_icon->setContextMenu(m_menu.get());
    m_icon->show();
}

void TrayApp::acceptClients()
{
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        if (!sameUser(*client)) {
            client->abort();
            continue;
        }
        QPointer<QLocalSocket> guarded(client);
        connect(client, &QLocalSocket::readyRead, this, [this, guarded] {
            if (guarded)
                readRequests(guarded);
        });
    }
}

void TrayApp::readRequests(QLocalSocket* client)
{
    QPointer<QLocalSocket> guarded(client);
    while (guarded && guarded->canReadLine()) {
        const QByteArray line = guarded->readLine().trimmed();
        const auto request = pgp::parseTrayRequest(line.toStdString());
        pgp::TrayAnswer answer = pgp::TrayAnswer::Unknown;
        if (request && request->topMost) {
            m_topMost = true;
            answer = pgp::TrayAnswer::Done;
        } else if (request) {
            answer = runCommand(request->id);
        }
        if (!guarded)
            return; // the sender went away meanwhile; the clipboard holds the result anyway
        guarded->write(QByteArray::number(static_cast<int>(answer)) + '\n');
        guarded->flush();
    }
}

pgp::TrayAnswer TrayApp::runCommand(int id)
{
    const auto command = pgp::trayCommandOf(id);
    if (!command)
        return pgp::TrayAnswer::Unknown;
    if (m_busy)
        return pgp::TrayAnswer::Busy; // never two commands on one clipboard at once
    m_busy = true;
    const std::string text = QApplication::clipboard()->text().toUtf8().toStdString();

    JobResult result;
    bool cancelled = false;
    QString title;
    if (m_gpg.program.empty()) {
        result.report = "gpg が見つかりません (Debian の gnupg を入れて下さい)。\n";
    } else if (text.empty()) {
        result.report = "クリップボードに文がありません。\n";
    } else {
        switch (*command) {
        case pgp::TrayCommand::Sign:
            title = QStringLiteral("署名");
            result = runInWorker([&] { return clearSign(m_gpg, text); });
            break;
        case pgp::TrayCommand::Encrypt:
        case pgp::TrayCommand::EncryptAndSign:
            title = QStringLiteral("暗号化");
            result = encryptChosen(text, *command == pgp::TrayCommand::EncryptAndSign);
            cancelled = !result.ok && result.report.empty();
            break;
        case pgp::TrayCommand::Check:
        case pgp::TrayCommand::CheckAndImport: {
            title = QStringLiteral("復号化・検証");
            const bool import = *command == pgp::TrayCommand::CheckAndImport;
            result = runInWorker([&] { return checkText(m_gpg, text, import); });
            break;
        }
        case pgp::TrayCommand::Import:
            title = QStringLiteral("鍵追加");
            result = runInWorker([&] { return importKeys(m_gpg, text); });
            break;
        }
    }
    if (result.ok)
        QApplication::clipboard()->setText(QString::fromUtf8(result.output));
    if (!cancelled)
        showReport(title, result.report);
    m_busy = false;
    const auto answer = result.ok   ? pgp::TrayAnswer::Done
                        : cancelled ? pgp::TrayAnswer::Cancelled
                                    : pgp::TrayAnswer::Failed;
    emit commandFinished(id, static_cast<int>(answer));
    return answer;
}

JobResult TrayApp::runInWorker(const std::function<JobResult()>& job)
{
    // gpg may wait minutes for a pass phrase; the socket goes on answering "busy" meanwhile.
    JobResult result;
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create([&result, &job] { result = job(); }));
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    return result;
}

JobResult TrayApp::encryptChosen(const std::string& text, bool sign)
{
    std::string why;
    std::optional<std::vector<pgp::Key>> found;
    static_cast<void>(runInWorker([&] {
        found = listPublicKeys(m_gpg, &why);
        return JobResult{};
    }));
    if (!found)
        return {.ok = false, .output = {}, .report = "鍵束を読めません。\n" + why};
    RecipientsDialog dialog(*found, static_cast<long long>(std::time(nullptr)));
    prepareDialog(&dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.chosen().empty())
        return {};
    const std::vector<std::string> recipients = dialog.chosen();
    return runInWorker([&] { return encryptText(m_gpg, text, recipients, sign); });
}

void TrayApp::prepareDialog(QWidget* dialog) const
{
    dialog->setWindowIcon(platform::appIcon());
    if (m_topMost)
        dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

void TrayApp::showReport(const QString& title, const std::string& report)
{
    if (!m_resultWindow) {
        m_resultWindow = std::make_unique<QDialog>();
        auto* layout = new QVBoxLayout(m_resultWindow.get());
        m_report = new QPlainTextEdit(m_resultWindow.get());
        m_report->setReadOnly(true);
        m_report->setAccessibleName(QStringLiteral("結果"));
        layout->addWidget(m_report);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, m_resultWindow.get());
        buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("閉じる"));
        connect(buttons, &QDialogButtonBox::rejected, m_resultWindow.get(), &QDialog::hide);
        layout->addWidget(buttons);
        m_resultWindow->resize(560, 260);
    }
    m_resultWindow->setWindowTitle(QString::fromLatin1(kTitle) + QStringLiteral(" - ") + title);
    m_report->setPlainText(QString::fromStdString(report));
    prepareDialog(m_resultWindow.get());
    m_resultWindow->show();
    m_resultWindow->raise();
}

QString TrayApp::reportText() const { return m_report ? m_report->toPlainText() : QString(); }

} // namespace kestrova::tray
