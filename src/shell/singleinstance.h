// One running copy per user and display: the first copy listens on a local socket, a later
// one asks it to come forward, hands it the file it was started with, and ends.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace kestrova::shell {

// The socket path of this user's copy on this display: in XDG_RUNTIME_DIR when there is one,
// else in the private temporary folder; empty when neither can be had.
[[nodiscard]] QString defaultInstanceName();

class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // name: the socket path (or a plain name, which Qt places in its temporary folder).
    explicit SingleInstance(QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Asks a running copy to raise its window and, when file is not empty, to open that file
    // (an absolute path); true when one answered. Otherwise this copy becomes the one that
    // answers later copies.
    [[nodiscard]] bool raiseRunningCopyOrListen(const QString& file = {});

    [[nodiscard]] bool isListening() const;

signals:
    // activationToken: what the later copy was started with, perhaps empty.
    void raiseRequested(const QString& activationToken);
    // A later copy was started with this file.
    void openRequested(const QString& file);

private:
    void answer();

    QString m_name;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace kestrova::shell
