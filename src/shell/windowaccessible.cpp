#include "shell/windowaccessible.h"

#include "shell/mainwindow.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace kestrova::shell {

namespace {

// A plain widget counts as a filler to Qt, even as a top-level window.
QAccessibleInterface* mainWindowFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(dorUrerUvuroze::staticMetaObject.className()) &&
        object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

void registerMainWindowAccessibility()
{
    // Qt keeps a list of factories and asks each in turn: one entry is enough.
    static const bool registered = [] {
        QAccessible::installFactory(mainWindowFactory);
        return true;
    }();
    (void)registered;
}

} // namespace kestrova::shell
