#include "platform/fonts.h"

#include <QStringList>

namespace kestrova::platform {

void registerFontSubstitutes()
{
    const QString face = QString::fromUtf16(kDesignedFace);
    if (!QFont::substitutes(face).isEmpty())
        return;
    QFont::insertSubstitutions(
        face, {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP")});
}

QFont textFont(const QString& face, int points)
{
    registerFontSubstitutes();
    QFont font(face);
    font.setPointSize(points < 1 ? 1 : points);
    font.setBold(false);
    font.setItalic(false);
    // Columns must line up with the ruler: prefer a fixed-pitch face when the named one is
    // missing and has no substitute.
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

} // namespace kestrova::platform
