// Fonts: the default face "ＭＳ ゴシック" and what stands in for it here.
#pragma once

#include <QFont>
#include <QString>

namespace kestrova::platform {

// The default face of the settings file; no such font exists on Linux.
inline constexpr char16_t kDesignedFace[] = u"ＭＳ ゴシック";

// Registers IPAGothic, then "Noto Sans Mono CJK JP", as the substitutes of the default face,
// once per process; later calls change nothing.
void registerFontSubstitutes();

// The font of the text area: the face and size given, neither bold nor italic. A size below 1
// point becomes 1.
[[nodiscard]] QFont textFont(const QString& face, int points);

} // namespace kestrova::platform
