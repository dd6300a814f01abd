#include "platform/messages.h"

#include "platform/qtext.h"

#include <QApplication>

namespace kestrova::platform {

namespace {

// A message shown in the middle of a command would otherwise carry the busy pointer.
class NormalPointer
{
public:
    NormalPointer()
        : m_busy(QApplication::overrideCursor() != nullptr)
    {
        if (m_busy)
            QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~NormalPointer()
    {
        if (m_busy)
            QApplication::restoreOverrideCursor();
    }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

private:
    bool m_busy;
};

} // namespace

void showLimitMessage(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok,
                    parent);
    const NormalPointer pointer;
    box.exec();
}

void showIoError(QWidget* parent, const QString& what, const io::IoError& error)
{
    QString text = what;
    if (!error.path.empty())
        text += QStringLiteral("\n\n") + fromFsPath(error.path);
    if (!error.reason.empty())
        text += QStringLiteral("\n(") + QString::fromStdString(error.reason) + QStringLiteral(")");
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok,
                    parent);
    const NormalPointer pointer;
    box.exec();
}

QMessageBox::StandardButton askYesNoCancel(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kAppTitle), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    const NormalPointer pointer;
    const int answer = box.exec();
    if (answer != QMessageBox::Yes && answer != QMessageBox::No)
        return QMessageBox::Cancel;
    return static_cast<QMessageBox::StandardButton>(answer);
}

bool askYesNo(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kAppTitle), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    const NormalPointer pointer;
    return box.exec() == QMessageBox::Yes;
}

} // namespace kestrova::platform
