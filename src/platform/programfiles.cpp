#include "platform/programfiles.h"

#include <QDir>
#include <QFileInfo>

namespace kestrova::platform {

namespace {

QString fromProgramDir(const QString& programDir, const char* relative)
{
    return QDir::cleanPath(QDir(programDir).filePath(QString::fromUtf8(relative)));
}

bool isProgram(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QString helperProgram(const QString& programDir, const QString& name)
{
    const QString installed =
        QDir(fromProgramDir(programDir, KESTROVA_HELPER_DIR_FROM_BIN)).filePath(name);
    // The installed place first: an older copy left beside the program by an earlier layout
    // must not win over the one that came with it.
    const QString candidates[] = {
        installed,
        QDir(programDir).filePath(name),
        QDir(QStringLiteral(KESTROVA_HELPER_DIR_FULL)).filePath(name),
    };
    for (const QString& candidate : candidates) {
        if (isProgram(candidate))
            return candidate;
    }
    return installed;
}

QString installedDataDir(const QString& programDir)
{
    const QString relative = fromProgramDir(programDir, KESTROVA_DATA_DIR_FROM_BIN);
    if (QFileInfo(relative).isDir())
        return relative;
    return QStringLiteral(KESTROVA_DATA_DIR_FULL);
}

} // namespace kestrova::platform
