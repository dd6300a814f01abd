// Qt's own texts in Japanese: the standard buttons and dialogs, among the window's own captions.
#pragma once

#include <QString>

class QCoreApplication;

namespace kestrova::platform {

// The folder and base name of Qt's Japanese translation: qtbase_ja.qm in Qt's translations.
[[nodiscard]] QString qtTranslationFile();

// Installs Qt's Japanese translation into app, whatever the locale: the window speaks Japanese
// only. Without it the standard buttons stay English; a line on standard error says which
// package brings it. Returns whether it was installed.
bool installQtTranslation(QCoreApplication& app);

} // namespace kestrova::platform
