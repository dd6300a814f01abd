// kestrova-tray's program object: the local socket that Kestrova (and any script of the same
// user) sends clipboard commands to, the icon or small window with the same commands, and the
// window that shows what gpg reported. One command runs at a time.
#pragma once

#include "pgp/trayprotocol.h"
#include "tray/trayjobs.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <csignal>
#include <functional>
#include <memory>

class QDialog;
class QLocalServer;
class QLocalSocket;
class QMenu;
class QPlainTextEdit;
class QSystemTrayIcon;

namespace kestrova::tray {

class TrayApp : public QObject
{
    Q_OBJECT

public:
    TrayApp(TrayGpg gpg, QString socketPath, QObject* parent = nullptr);
    ~TrayApp() override;

    enum class Start
    {
        Listening,
        AlreadyRunning, // another copy answers on the socket
        Failed,
    };
    // Takes the socket, unless another copy owns it; *why says what failed.
    Start start(QString* why);

    // The tray icon with its menu where the desktop has a tray, else a small window.
    void showFace();

    // Runs the clipboard command id: the clipboard's text through gpg, the result back on the
    // clipboard, gpg's report in the result window.
    pgp::TrayAnswer runCommand(int id);

    [[nodiscard]] bool busy() const { return m_busy; }
    [[nodiscard]] bool topMost() const { return m_topMost; }
    [[nodiscard]] QString reportText() const;
    [[nodiscard]] QWidget* faceWindow() const { return m_faceWindow.data(); }

signals:
    // A command has ended with answer.
    void commandFinished(int id, int answer);

private:
    void acceptClients();
    void readRequests(QLocalSocket* client);
    JobResult runInWorker(const std::function<JobResult()>& job);
    JobResult encryptChosen(const std::string& text, bool sign);
    void showReport(const QString& title, const std::string& report);
    void prepareDialog(QWidget* dialog) const;

    TrayGpg m_gpg;
    QString m_socketPath;
    std::unique_ptr<QLocalServer> m_server;
    std::unique_ptr<QMenu> m_menu;
    QPointer<QSystemTrayIcon> m_icon;
    QPointer<QWidget> m_faceWindow;
    std::unique_ptr<QDialog> m_resultWindow;
    QPlainTextEdit* m_report = nullptr;
    bool m_busy = false;
    bool m_topMost = false;
    volatile std::sig_atomic_t m_stop = 0;
};

} // namespace kestrova::tray
