// Message boxes in the program's manner: the application title, the stop icon for limits and
// failures, Yes/No/Cancel questions with Yes the default.
#pragma once

#include "io/result.h"

#include <QMessageBox>
#include <QString>

class QWidget;

namespace kestrova::platform {

// The title of every message box that names none of its own.
inline constexpr char kAppTitle[] = "Kestrova";

// A stop-icon box with an OK button, for a size limit about to be applied.
void showLimitMessage(QWidget* parent, const QString& text);

// A stop-icon box for a failure the user must know of: what went wrong, the file and the
// system's reason.
void showIoError(QWidget* parent, const QString& what, const io::IoError& error);

// A question with Yes, No and Cancel, Yes the default, no icon. Closing the box answers Cancel.
[[nodiscard]] QMessageBox::StandardButton askYesNoCancel(QWidget* parent, const QString& text);

// A warning with Yes and No, No the default: for a step that would lose something.
[[nodiscard]] bool askYesNo(QWidget* parent, const QString& text);

} // namespace kestrova::platform
