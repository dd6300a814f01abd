#include "shell/windowaccessible.h"

#include "platform/accessible.h"
#include "shell/mainwindow.h"

#include <QAccessibleWidget>

namespace kestrova::shell {

namespace {

// A plain widget counts as a filler to Qt, even as a top-level window.
class MainWindowAccessible : public QAccessibleWidget
{
public:
    explicit MainWindowAccessible(QWidget* window)
        : QAccessibleWidget(window, QAccessible::Window)
    {
    }
};

} // namespace

void registerMainWindowAccessibility()
{
    platform::registerAccessible<dorUrerUvuroze, MainWindowAccessible>();
}

} // namespace kestrova::shell
