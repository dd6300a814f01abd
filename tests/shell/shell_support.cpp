#include "shell_support.h"

#include "platform/qtext.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTest>

namespace kestrova::test {

Sandbox::Sandbox()
{
    m_hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_oldConfigHome = qgetenv("XDG_CONFIG_HOME");
    QDir root(m_dir.path());
    root.mkpath(QStringLiteral("config"));
    root.mkpath(QStringLiteral("program"));
    root.mkpath(QStringLiteral("files"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("config"))));
}

Sandbox::~Sandbox()
{
    if (m_hadConfigHome)
        qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

QString Sandbox::configDir() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("config/kestrova"));
}

QString Sandbox::iniPath() const
{
    return QDir(configDir()).filePath(QStringLiteral("Kestrova.ini"));
}

QString Sandbox::programDir() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("program"));
}

QString Sandbox::path(const QString& name) const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("files/") + name);
}

QString Sandbox::instanceName() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("instance.socket"));
}

shell::StartOptions Sandbox::options(const QString& arguments) const
{
    shell::StartOptions options;
    options.arguments = arguments;
    options.programDir = programDir();
    options.instanceName = instanceName();
    return options;
}

void Sandbox::writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

QByteArray Sandbox::readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

ModalDriver::ModalDriver()
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
    m_timer.start();
}

ModalDriver::~ModalDriver() = default;

void ModalDriver::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        SeenBox seen;
        seen.text = box->text();
        seen.icon = box->icon();
        seen.title = box->windowTitle();
        seen.buttons = box->standardButtons();
        if (QPushButton* button = box->defaultButton())
            seen.defaultButton = box->standardButton(button);
        m_boxes.push_back(seen);
        QMessageBox::StandardButton answer =
            seen.buttons & QMessageBox::Cancel ? QMessageBox::Cancel : QMessageBox::Ok;
        if (!m_answers.empty()) {
            answer = m_answers.front();
            m_answers.erase(m_answers.begin());
        }
        if (QAbstractButton* button = box->button(answer))
            button->click();
        else
            box->reject();
        return;
    }
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        ++m_fileDialogCount;
        if (m_fileActions.empty()) {
            dialog->reject();
            return;
        }
        FileAction action = std::move(m_fileActions.front());
        m_fileActions.erase(m_fileActions.begin());
        action(dialog);
    }
}

std::unique_ptr<shell::dorUrerUvuroze> startWindow(const Sandbox& sandbox, const QString& arguments)
{
    auto window = std::make_unique<shell::dorUrerUvuroze>(sandbox.options(arguments));
    if (window->Form_Load() != shell::StartResult::Run)
        qFatal("the window did not start");
    return window;
}

QString clipboard() { return QGuiApplication::clipboard()->text(); }

void setClipboard(const QString& text) { QGuiApplication::clipboard()->setText(text); }

std::u16string crlf(const QString& text)
{
    QString copy = text;
    copy.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return platform::toU16(copy);
}

} // namespace kestrova::test
