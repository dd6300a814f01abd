// kestrova: the main window.
#include "version.h"
#include "withoutdisplay.h"

#include "platform/appicon.h"
#include "platform/programfiles.h"
#include "platform/translation.h"
#include "shell/mainwindow.h"
#include "shell/singleinstance.h"

#include <QApplication>
#include <QStringList>

#include <optional>

int main(int argc, char** argv)
{
    if (const auto ended = kestrova::app::answerBeforeDisplay(argc, argv))
        return *ended;
    std::optional<kestrova::app::DisplayGuard> guard(std::in_place);
    QApplication app(argc, argv);
    guard.reset();
    QApplication::setApplicationName(QStringLiteral("kestrova"));
    QApplication::setApplicationVersion(QString::fromLatin1(kestrova::kFileVersion));
    // Ties the windows to the installed desktop entry (its name and icon on Wayland, too).
    QGuiApplication::setDesktopFileName(QStringLiteral(KESTROVA_APP_ID));
    QApplication::setWindowIcon(kestrova::platform::appIcon());
    kestrova::platform::installQtTranslation(app);

    // Qt has taken its own options out; what is left is the argument text, as one line.
    kestrova::shell::StartOptions options;
    options.arguments = QApplication::arguments().mid(1).join(QLatin1Char(' '));
    // Beside the program in the build tree, in the data folder installed: the help.
    options.programDir = QApplication::applicationDirPath();
    options.dataDir = kestrova::platform::installedDataDir(options.programDir);
    options.instanceName = kestrova::shell::defaultInstanceName();

    kestrova::shell::dorUrerUvuroze window(options);
    if (window.Form_Load() == kestrova::shell::StartResult::RaisedRunningCopy)
        return 0;
    window.showAsLoaded();
    return QApplication::exec();
}
