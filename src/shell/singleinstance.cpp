#include "shell/singleinstance.h"

#include "io/files.h"
#include "platform/qtext.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QPointer>

namespace kestrova::shell {

namespace {

constexpr int kConnectMs = 500;
constexpr int kAnswerMs = 2000;
constexpr int kLockMs = 3000;
const QByteArray kRaise = QByteArrayLiteral("raise\n");
const QByteArray kDone = QByteArrayLiteral("done\n");

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

bool SingleInstance::raiseRunningCopyOrListen()
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
        connect(client, &QLocalSocket::readyRead, this, [this, guarded] {
            if (!guarded || !guarded->canReadLine())
                return;
            if (guarded->readLine() == kRaise) {
                emit raiseRequested();
                guarded->write(kDone);
                guarded->flush();
            }
            guarded->disconnectFromServer();
        });
    }
}

} // namespace kestrova::shell
