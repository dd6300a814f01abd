#include "setup_support.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace kestrova::test {

std::unique_ptr<OpenDialog> openDialog(settings::Settings& settings, setup::FontNameCache& cache)
{
    auto open = std::make_unique<OpenDialog>();
    open->dialog = std::make_unique<setup::fomSetup>(settings, cache);
    OpenDialog* const raw = open.get();
    open->dialog->setBeep([raw] { ++raw->beeps; });
    open->dialog->show();
    if (!QTest::qWaitForWindowExposed(open->dialog.get()))
        qFatal("the settings dialog was not shown");
    return open;
}

EnvironmentValue::EnvironmentValue(const char* name, const QString* value)
    : m_name(name)
    , m_wasSet(qEnvironmentVariableIsSet(name))
    , m_old(qgetenv(name))
{
    if (value)
        qputenv(name, value->toLocal8Bit());
    else
        qunsetenv(name);
}

EnvironmentValue::~EnvironmentValue()
{
    if (m_wasSet)
        qputenv(m_name, m_old);
    else
        qunsetenv(m_name);
}

WithoutPgpEnvironment::WithoutPgpEnvironment()
    : m_pgpPath("PGPPATH", nullptr)
    , m_timeZone("TZ", nullptr)
    , m_passPhrase("PGPPASS", nullptr)
{
}

void confirm(QWidget& dialog)
{
    QTest::mouseClick(control<QPushButton>(dialog, QStringLiteral("cmdExit")), Qt::LeftButton);
}

void saveScreenshot(QWidget& window, const QString& name)
{
    const QString folder = qEnvironmentVariable("KESTROVA_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return;
    window.grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
    // The whole screen as well: under a window manager it shows the caption and frame.
    if (QScreen* screen = window.screen())
        screen->grabWindow(0)
            .copy(window.frameGeometry().adjusted(-4, -4, 4, 4))
            .save(QDir(folder).filePath(name + QStringLiteral("-screen.png")));
}

void typeAtEnd(QWidget* edit, const QString& text)
{
    if (auto* line = qobject_cast<QLineEdit*>(edit))
        line->end(false);
    QTest::keyClicks(edit, text);
}

} // namespace kestrova::test
