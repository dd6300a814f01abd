// kestrova: the main window.
#include "version.h"
#include "withoutdisplay.h"

#include "platform/appicon.h"
#include "shell/mainwindow.h"
#include "shell/singleinstance.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <optional>

namespace {

// The documentation folder, where the help may be. Found from the program's own folder first,
// so that a tree installed under any prefix (cmake --install --prefix, a package unpacked
// elsewhere) finds its own help; the configured folder is the fallback.
QString documentationDir(const QString& programDir)
{
    const QString relative =
        QDir::cleanPath(QDir(programDir).filePath(QStringLiteral(KESTROVA_DOC_DIR_FROM_BIN)));
    if (QFileInfo(relative).isDir())
        return relative;
    return QStringLiteral(KESTROVA_DOC_DIR);
}

} // namespace

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

    // Qt has taken its own options out; what is left is the argument text, as one line.
    kestrova::shell::StartOptions options;
    options.arguments = QApplication::arguments().mid(1).join(QLatin1Char(' '));
    // Beside the program: the help in the build tree, the helper programs in both trees.
    options.programDir = QApplication::applicationDirPath();
    options.docDir = documentationDir(options.programDir);
    options.instanceName = kestrova::shell::defaultInstanceName();

    kestrova::shell::dorUrerUvuroze window(options);
    if (window.Form_Load() == kestrova::shell::StartResult::RaisedRunningCopy)
        return 0;
    window.showAsLoaded();
    return QApplication::exec();
}
