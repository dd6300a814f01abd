// The help file, Kestrova.html: where it is found and how it is shown.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace kestrova::shell {

// Kestrova.html in the first of folders that holds it; the bare name when none does.
[[nodiscard]] QString findHelpFile(const QStringList& folders);

// Opens the help in the desktop's browser; a missing file or no browser is reported.
void showHelp(QWidget* parent, const QString& helpFile);

} // namespace kestrova::shell
