#include "shell/singleinstance.h"

#include "io/files.h"
#include "platform/qtext.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QPointer>

#include <memory>
#include <utility>

namespace kestrova::shell {

namespace {

constexpr int kConnectMs = 500;
constexpr int kAnswerMs = 2000;
constexpr int kLockMs = 3000;
const QByteArray kRaise = QByteArrayLiteral("raise\n");
// "open ", the file's name in UTF-8 as Base64 (a name may hold a line end), a line end.
const QByteArray kOpen = QByteArrayLiteral("open ");
const QByteArray kDone = QByteArrayLiteral("done\n");
// "token ", the activation token this copy was started with, as Base64, a line end: Wayland
// lets a window come forward only with the token of the user's action that asked for it.
const QByteArray kToken = QByteArrayLiteral("token ");

// The Base64 text of a "open " or "token " line, empty when it is not one.
QByteArray lineValue(const QByteArray& line, const QByteArray& word)
{
    if (!line.startsWith(word) || !line.endsWith('\n'))
        return {};
    return QByteArray::fromBase64(line.mid(word.size(), line.size() - word.size() - 1),
                                  QByteArray::AbortOnBase64DecodingErrors);
}

// Two displays are two desktops: each may have its own copy.
QString displayTag()
{
    QString display = qEnvironmentVariable("DISPLAY");
    if (QGuiApplication::platformName() == QLatin1String("wayland"))
        display = qEnvironmentVariable("WAYLAND_DISPLAY");
    else if (QGuiApplication::platformName() != QLatin1String("xcb"))
        display = QGuiApplication::platformName();
    for (QChar& c : display) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('.') && c != QLatin1Char('-'))
            c = QLatin1Char('_');
    }
    return display.isEmpty() ? QStringLiteral("default") : display;
}

} // namespace

QString defaultInstanceName()
{
    const QString name = QStringLiteral("kestrova-") + displayTag() + QStringLiteral(".socket");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(name);
    // /tmp itself is open to every user, who could put a socket of this name there first.
    auto temp = io::GetTempDir();
    if (!temp)
        return {};
    return platform::fromFsPath(*temp) + name;
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::raiseRunningCopyOrListen(const QString& file)
{
    if (m_name.isEmpty())
        return false;
    // Two copies started together must not both decide they are the first.
    QLockFile lock(m_name + QStringLiteral(".lock"));
    lock.setStaleLockTime(kLockMs * 2);
    // Past the wait the lock holder is taken to be hung: go on without it.
    static_cast<void>(lock.tryLock(kLockMs));

    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (socket.waitForConnected(kConnectMs)) {
        if (!file.isEmpty())
            socket.write(kOpen + file.toUtf8().toBase64() + '\n');
        if (const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN"); !token.isEmpty())
            socket.write(kToken + token.toBase64() + '\n');
        socket.write(kRaise);
        socket.waitForBytesWritten(kAnswerMs);
        // The answer shows the first copy has the request; without one it is hung, and
        // starting a second window would only add to the confusion.
        while (!socket.canReadLine() && socket.waitForReadyRead(kAnswerMs)) {
        }
        return true;
    }

    // Nobody answered: a socket file left behind by a copy that crashed is in the way.
    QLocalServer::removeServer(m_name);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        m_server.reset(); // the program still runs, only without the single-copy check
        return false;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::answer);
    return false;
}

bool SingleInstance::isListening() const { return m_server && m_server->isListening(); }

void SingleInstance::answer()
{
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        QPointer<QLocalSocket> guarded(client);
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        auto named = std::make_shared<QString>(); // the file this copy was started with
        auto token = std::make_shared<QString>(); // and its activation token
        connect(client, &QLocalSocket::readyRead, this, [this, guarded, named, token] {
            while (guarded && guarded->canReadLine()) {
                const QByteArray line = guarded->readLine();
                if (line.startsWith(kOpen)) {
                    *named = QString::fromUtf8(lineValue(line, kOpen));
                    continue;
                }
                if (line.startsWith(kToken)) {
                    *token = QString::fromUtf8(lineValue(line, kToken));
                    continue;
                }
                if (line == kRaise) {
                    // Answer first: the later copy waits for it, and reading the file may
                    // show a message box.
                    guarded->write(kDone);
                    guarded->flush();
                    emit raiseRequested(std::exchange(*token, QString()));
                    const QString file = std::exchange(*named, QString());
                    if (!file.isEmpty())
                        emit openRequested(file);
                }
                if (guarded)
                    guarded->disconnectFromServer();
                return;
            }
        });
    }
}

} // namespace kestrova::shell
