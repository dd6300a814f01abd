// The folder browser, proOpenFolderDlg.
#pragma once

#include <QString>

class QWidget;

namespace kestrova::platform {

// Shows a folder chooser with prompt as its title, owned by owner (the desktop when null),
// with path preselected when it is not empty. Returns the chosen folder's absolute path, or
// empty when the user cancelled. root and flags are accepted for the callers' sake: the
// chooser here always starts from the whole file system and offers folders only.
[[nodiscard]] QString proOpenFolderDlg(const QString& path, const QString& prompt, QWidget* owner,
                                       int root, int flags);

} // namespace kestrova::platform
