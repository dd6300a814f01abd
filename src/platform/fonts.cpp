#include "platform/fonts.h"

#include "platform/messages.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QMessageBox>
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

bool drawsFullWidthAsTwoColumns(const QFont& font)
{
    // Kana, a kanji and a full-width letter against ASCII and a half-width kana: each side
    // six columns, measured as runs so that a rounding in one glyph cannot hide.
    const QFontMetrics metrics(font);
    const int fullWidth = metrics.horizontalAdvance(QStringLiteral("あ漢Ａ"));
    const int halfWidth = metrics.horizontalAdvance(QStringLiteral("a0ｱa0ｱ"));
    return fullWidth > 0 && fullWidth == halfWidth;
}

QString columnsDriftMessage(const QFont& font)
{
    return QStringLiteral(
               "フォント「%1」では全角文字が半角文字のちょうど 2 倍の幅にならないため、"
               "ルーラーの目盛りが本文の桁と合いません。\n"
               "等幅の日本語フォント（Debian のパッケージ fonts-ipafont-gothic または "
               "fonts-noto-cjk）をインストールし、「設定」でそのフォントを選んでください。")
        .arg(QFontInfo(font).family());
}

QMessageBox* warnWhenColumnsDrift(QWidget* window, const QFont& font)
{
    if (drawsFullWidthAsTwoColumns(font))
        return nullptr;
    // The window keeps working meanwhile: the text can still be aligned, only the ruler is off.
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(kAppTitle),
                                columnsDriftMessage(font), QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("columnsDriftWarning"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

} // namespace kestrova::platform
