// Fonts: the default face "ＭＳ ゴシック" and what stands in for it here.
#pragma once

#include <QFont>
#include <QString>

class QMessageBox;
class QWidget;

namespace kestrova::platform {

// The default face of the settings file; no such font exists on Linux.
inline constexpr char16_t kDesignedFace[] = u"ＭＳ ゴシック";

// Registers IPAGothic, then "Noto Sans Mono CJK JP", as the substitutes of the default face,
// once per process; later calls change nothing.
void registerFontSubstitutes();

// The font of the text area: the face and size given, neither bold nor italic. A size below 1
// point becomes 1.
[[nodiscard]] QFont textFont(const QString& face, int points);

// Whether font draws a full-width character exactly twice as wide as a half-width one, as the
// ruler's columns and the column count need.
[[nodiscard]] bool drawsFullWidthAsTwoColumns(const QFont& font);

// The text of the warning that the text's face puts the ruler beside the text's columns.
[[nodiscard]] QString columnsDriftMessage(const QFont& font);

// When font does not draw full-width as two columns, shows the warning beside window without
// stopping it, and returns the box; nothing otherwise.
QMessageBox* warnWhenColumnsDrift(QWidget* window, const QFont& font);

} // namespace kestrova::platform
