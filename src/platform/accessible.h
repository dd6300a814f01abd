// Accessible interfaces of the program's own widgets, for screen readers.
#pragma once

#include <QAccessible>
#include <QLatin1String>
#include <QObject>
#include <QString>

namespace kestrova::platform {

// Makes Qt describe every widget whose class is exactly Widget through Interface, constructed
// from the widget. Qt keeps a list of factories and asks each in turn, so the factory goes in
// once per process, however often this is called.
template <typename Widget, typename Interface> void registerAccessible()
{
    static const bool registered = [] {
        QAccessible::installFactory(
            [](const QString& className, QObject* object) -> QAccessibleInterface* {
                if (className == QLatin1String(Widget::staticMetaObject.className()) &&
                    object->isWidgetType())
                    return new Interface(static_cast<Widget*>(object));
                return nullptr;
            });
        return true;
    }();
    (void)registered;
}

} // namespace kestrova::platform
