// The help file, Kestrova.html: where it is found and how it is shown.
#pragma once

#include <QString>
#include <QStringList>

class QFont;
class QWidget;

namespace kestrova::shell {

// Kestrova.html in the first of folders that holds it; the bare name when none does.
[[nodiscard]] QString findHelpFile(const QStringList& folders);

// Shows the help in the help window of parent, in font, opening it or bringing it forward; a
// missing file is reported.
void showHelp(QWidget* parent, const QString& helpFile, const QFont& font);

} // namespace kestrova::shell
