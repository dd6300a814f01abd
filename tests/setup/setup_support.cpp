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

std::vector<PlacedControl> visibleControls(QWidget& root)
{
    std::vector<PlacedControl> controls;
    for (QWidget* widget : root.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&root) || widget->objectName() == QStringLiteral("cmdPage"))
            continue;
        const bool part = qobject_cast<QComboBox*>(widget->parentWidget()) ||
                          qobject_cast<QAbstractScrollArea*>(widget->parentWidget());
        const bool control = qobject_cast<QLabel*>(widget) ||
                             qobject_cast<QAbstractButton*>(widget) ||
                             qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) ||
                             qobject_cast<QPlainTextEdit*>(widget);
        if (part || !control)
            continue;
        controls.push_back({widget, QRect(widget->mapTo(&root, QPoint(0, 0)), widget->size())});
    }
    return controls;
}

QString layoutFault(QWidget& root, const QRect& area)
{
    const std::vector<PlacedControl> controls = visibleControls(root);
    for (const PlacedControl& c : controls) {
        const QString name = c.widget->objectName().isEmpty()
                                 ? c.widget->property("text").toString()
                                 : c.widget->objectName();
        const bool captioned =
            qobject_cast<QLabel*>(c.widget) || qobject_cast<QAbstractButton*>(c.widget);
        if (captioned && (c.rect.width() < c.widget->sizeHint().width() ||
                          c.rect.height() < c.widget->minimumSizeHint().height()))
            return QStringLiteral("%1 is cut off: %2 x %3 of %4 x %5")
                .arg(name)
                .arg(c.rect.width())
                .arg(c.rect.height())
                .arg(c.widget->sizeHint().width())
                .arg(c.widget->sizeHint().height());
        if (!area.contains(c.rect))
            return name + QStringLiteral(" lies outside its area");
        for (const PlacedControl& other : controls) {
            if (&other != &c && other.rect.intersects(c.rect))
                return name + QStringLiteral(" overlaps ") +
                       (other.widget->objectName().isEmpty()
                            ? other.widget->property("text").toString()
                            : other.widget->objectName());
        }
    }
    return {};
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
