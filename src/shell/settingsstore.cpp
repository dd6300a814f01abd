#include "shell/settingsstore.h"

#include "platform/messages.h"
#include "platform/qtext.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace kestrova::shell {

using platform::toFsPath;

namespace {

// The damaged lines a message names; it counts the rest.
constexpr qsizetype kListedLines = 10;

} // namespace

std::optional<SettingsReport> SettingsStore::load(const QString& path, settings::Settings& settings,
                                                  settings::WindowGeometry& geometry)
{
    auto notes = settings::GetPara(toFsPath(path), settings, geometry);
    if (!notes) {
        m_keepOldSettings = QFileInfo::exists(path);
        return SettingsReport{QStringLiteral("設定ファイルを読めませんでした。"
                                             "既定の設定で起動します。\n"
                                             "終了するとき、元のファイルは名前の末尾に"
                                             " .bak を付けて残します。"),
                              notes.error()};
    }
    QStringList damaged;
    qsizetype count = 0;
    for (const int line : settings::damagedLines(*notes)) {
        // A box as high as thousands of line numbers would put its button off the screen.
        if (++count <= kListedLines)
            damaged << QString::number(line);
    }
    if (damaged.isEmpty())
        return std::nullopt;
    m_keepOldSettings = true;
    QString lines = damaged.join(QStringLiteral(", ")) + QStringLiteral(" 行目");
    if (count > kListedLines)
        lines += QStringLiteral("、ほか %1 行").arg(count - kListedLines);
    return SettingsReport{
        QStringLiteral("設定ファイルの %1を読めませんでした。"
                       "その設定は既定の値を使います。\n"
                       "終了するとき、元のファイルは名前の末尾に .bak を付けて残します。")
            .arg(lines),
        io::IoError{io::IoErrorKind::BadData, toFsPath(path), {}}};
}

bool SettingsStore::save(QWidget* parent, const QString& path, const settings::Settings& settings,
                         const settings::WindowGeometry& geometry)
{
    if (m_keepOldSettings && QFileInfo::exists(path)) {
        const QString backup = path + QStringLiteral(".bak");
        QFile::remove(backup);
        if (!QFile::rename(path, backup)) {
            platform::showIoError(
                parent,
                QStringLiteral("元の設定ファイルを残せないため、設定を保存しませんでした。"),
                io::IoError{io::IoErrorKind::NotWritable, toFsPath(path),
                            "cannot rename it to " + toFsPath(backup)});
            return false;
        }
        m_keepOldSettings = false;
    }
    auto written = settings::PutPara(toFsPath(path), settings, geometry);
    if (!written) {
        platform::showIoError(parent, QStringLiteral("設定ファイルを保存できませんでした。"),
                              written.error());
        return false;
    }
    return true;
}

} // namespace kestrova::shell
