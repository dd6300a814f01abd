#include "platform/folderdlg.h"

#include <QFileDialog>
#include <QFileInfo>

namespace kestrova::platform {

QString proOpenFolderDlg(const QString& path, const QString& prompt, QWidget* owner, int root,
                         int flags)
{
    static_cast<void>(root);
    static_cast<void>(flags);
    QFileDialog dialog(owner, prompt);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        if (info.isDir()) {
            // Opened in the folder's parent with the folder itself selected.
            dialog.setDirectory(info.absolutePath());
            dialog.selectFile(info.fileName());
        }
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QString chosen = dialog.selectedFiles().value(0);
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir())
        return {};
    return QFileInfo(chosen).absoluteFilePath();
}

} // namespace kestrova::platform
