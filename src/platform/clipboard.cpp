#include "platform/clipboard.h"

#include "io/textcodec.h"
#include "platform/messages.h"
#include "platform/qtext.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>

namespace kestrova::platform {

std::u16string clipboardText()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return {}; // no clipboard reads as an empty one
    return toU16(clipboard->text(QClipboard::Clipboard));
}

namespace {

// Qt waits a second (Wayland) to five (X11) for the clipboard's owner.
constexpr qint64 kUnansweredMs = 900;

} // namespace

ClipboardRead readClipboardText()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return {};
    QElapsedTimer waited;
    waited.start();
    const QMimeData* offered = clipboard->mimeData(QClipboard::Clipboard);
    ClipboardRead read;
    read.text = toU16(clipboard->text(QClipboard::Clipboard));
    // Qt gives up on an owner that does not answer after a while and returns no text; an empty
    // text that is really there comes at once.
    read.unreadable =
        read.text.empty() && offered && offered->hasText() && waited.elapsed() >= kUnansweredMs;
    return read;
}

bool clipboardNeedsFocus()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
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
