#include "shell/help.h"

#include "io/result.h"
#include "platform/messages.h"
#include "platform/qtext.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

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

void showHelp(QWidget* parent, const QString& helpFile)
{
    using platform::toFsPath;
    const QFileInfo help(helpFile);
    if (!help.isAbsolute() || !help.isFile()) {
        platform::showIoError(parent, QStringLiteral("ヘルプファイルが見つかりません。"),
                              io::IoError{io::IoErrorKind::NotFound, toFsPath(helpFile),
                                          "it is neither beside the program nor in the "
                                          "documentation folder"});
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(help.absoluteFilePath())))
        platform::showIoError(parent, QStringLiteral("ヘルプを開けませんでした。"),
                              io::IoError{io::IoErrorKind::Other, toFsPath(helpFile),
                                          "no program to show it was found"});
}

} // namespace kestrova::shell
