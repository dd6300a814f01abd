#include "shell/help.h"

#include "io/result.h"
#include "platform/messages.h"
#include "platform/qtext.h"
#include "shell/helpwindow.h"

#include <QDir>
#include <QFileInfo>

namespace kestrova::shell {

namespace {

const QString kHelpName = QStringLiteral("Kestrova.html");

} // namespace

QString findHelpFile(const QStringList& folders)
{
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        const QString candidate = QDir(folder).filePath(kHelpName);
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return kHelpName;
}

void showHelp(QWidget* parent, const QString& helpFile, const QFont& font)
{
    using platform::toFsPath;
    const QFileInfo help(helpFile);
    if (!help.isAbsolute() || !help.isFile()) {
        platform::showIoError(parent, QStringLiteral("ヘルプファイルが見つかりません。"),
                              io::IoError{io::IoErrorKind::NotFound, toFsPath(helpFile),
                                          "it is neither beside the program nor in the "
                                          "program's data folder"});
        return;
    }
    // One help window per main window: F1 again brings it forward.
    auto* window = parent->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (window == nullptr)
        window = new HelpWindow(help.absoluteFilePath(), font, parent);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace kestrova::shell
