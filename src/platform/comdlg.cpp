#include "platform/comdlg.h"

#include "io/paths.h"
#include "platform/messages.h"
#include "platform/qtext.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace kestrova::platform {

QStringList nameFiltersOf(const QString& filter)
{
    const QStringList items = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        QStringList patterns;
        for (QString pattern : items[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
            if (!pattern.isEmpty())
                patterns << pattern;
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        filters << items[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

void clsComDlg::Action(int new_Action)
{
    if (new_Action != kOpenAction && new_Action != kSaveAction)
        return; // no such dialog: FileName stays as it was
    FileName = ShowFileDialog(new_Action);
}

QString clsComDlg::ShowFileDialog(int kind)
{
    const bool save = kind == kSaveAction;
    QFileDialog dialog(OwnerhWnd.data(), DialogTitle);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!save && (Flags & kOfnFileMustExist) ? QFileDialog::ExistingFile
                                                            : QFileDialog::AnyFile);
    // The descriptions carry their patterns already, as "ﾃｷｽﾄﾌｧｲﾙ(*.txt)" does.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (Flags & kOfnOverwritePrompt) == 0);

    const QStringList filters = nameFiltersOf(Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const qsizetype index =
            FilterIndex >= 1 && FilterIndex <= filters.size() ? FilterIndex - 1 : 0;
        dialog.selectNameFilter(filters[index]);
    }

    const std::string proposed = toFsPath(FileName);
    const QString folder = fromFsPath(io::GetDirPart(proposed));
    const QString name = fromFsPath(io::GetFilePart(proposed));
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        dialog.setDirectory(folder);
    if (!name.isEmpty())
        dialog.selectFile(name);

    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return {};
        const QString chosen = dialog.selectedFiles().value(0);
        if (chosen.isEmpty())
            return {};
        const QFileInfo info(chosen);
        if (save && (Flags & kOfnPathMustExist) && !info.absoluteDir().exists()) {
            QMessageBox box(QMessageBox::Warning, DialogTitle,
                            QStringLiteral("フォルダ %1 がありません。\n"
                                           "あるフォルダを選んでください。")
                                .arg(QDir::toNativeSeparators(info.absolutePath())),
                            QMessageBox::Ok, &dialog);
            box.exec();
            continue;
        }
        // Qt's own dialog names the chosen type without its patterns, as it shows it.
        const QString chosenFilter = dialog.selectedNameFilter();
        for (qsizetype i = 0; i < filters.size(); ++i) {
            if (filters[i] == chosenFilter ||
                filters[i].startsWith(chosenFilter + QStringLiteral(" ("))) {
                FilterIndex = static_cast<std::int32_t>(i + 1);
                break;
            }
        }
        return info.absoluteFilePath();
    }
}

} // namespace kestrova::platform
