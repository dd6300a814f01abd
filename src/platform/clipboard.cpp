#include "platform/clipboard.h"

#include "io/textcodec.h"
#include "platform/messages.h"
#include "platform/qtext.h"

#include <QClipboard>
#include <QGuiApplication>

namespace kestrova::platform {

std::u16string clipboardText()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return {}; // no clipboard reads as an empty one
    return toU16(clipboard->text(QClipboard::Clipboard));
}

void putOnClipboard(std::u16string_view text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    const QString plain = toQString(io::normalizeLineEnds(text, io::LineEnd::Lf));
    // setText replaces every format at once; clearing first would only tell clipboard
    // managers and other watchers of a change twice.
    clipboard->setText(plain, QClipboard::Clipboard);
}

void clearClipboard()
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->clear(QClipboard::Clipboard);
}

QString sizeMessage(int percent, const QString& ending)
{
    return QStringLiteral("ｻｲｽﾞが大きいので ") + QString::number(percent) + ending;
}

std::u16string ReadClipboard(int convMode, QWidget* parent)
{
    ClipboardIntake intake = takeClipboardText(clipboardText(), convMode);
    if (intake.cut)
        showLimitMessage(parent,
                         sizeMessage(intake.keptPercent, QStringLiteral("％しか読みこめません")));
    return std::move(intake.text);
}

} // namespace kestrova::platform
