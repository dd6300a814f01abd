#include "setup_support.h"

#include <QApplication>
#include <QLineEdit>
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

void typeAtEnd(QWidget* edit, const QString& text)
{
    if (auto* line = qobject_cast<QLineEdit*>(edit))
        line->end(false);
    QTest::keyClicks(edit, text);
}

} // namespace kestrova::test
