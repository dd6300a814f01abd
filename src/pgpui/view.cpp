#include "pgpui/view.h"

#include "platform/clipboard.h"
#include "platform/dialogframe.h"
#include "platform/qtext.h"
#include "platform/twips.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

namespace kestrova::pgpui {

namespace {

constexpr int kInnerWidth = 8580;
constexpr int kInnerHeight = 4035;
constexpr int kButtonWidth = 1215;
constexpr int kButtonHeight = 375;
// At this inner height or less the controls stay where they are.
constexpr int kLeastLaidOutHeight = 1000;

// The character code a key press stands for: Ctrl+A 1, Ctrl+C 3 (and the desktop's other keys
// for select all and copy); 0 for anything else.
int controlCode(const QKeyEvent* key)
{
    if (key->matches(QKeySequence::SelectAll))
        return 1;
    if (key->matches(QKeySequence::Copy))
        return 3;
    return 0;
}

// The text a selection holds, with CR LF between its lines.
std::u16string selectionText(const QTextCursor& cursor)
{
    QString selected = cursor.selectedText();
    selected.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    selected.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return platform::toU16(selected);
}

} // namespace

fomView::fomView(QWidget* parent)
    : QDialog(parent)
{
    platform::frameAsModalDialog(this);
    setWindowTitle(QStringLiteral("View"));
    txtView = new QPlainTextEdit(this);
    txtView->setReadOnly(true);
    // Keyboard selection too, as in any read-only text box.
    txtView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtView->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtView->installEventFilter(this);
    cmdExit = new QPushButton(QStringLiteral("確認"), this);
    cmdExit->setDefault(true);
    txtView->setAccessibleName(QStringLiteral("PGP の結果"));
    txtView->setAccessibleDescription(QStringLiteral("gpg が報告したこと"));
    cmdExit->setAccessibleDescription(QStringLiteral("結果の表示を閉じます"));
    platform::placeInTwips(cmdExit, {0, 0, kButtonWidth, kButtonHeight});
    resize(platform::twipsToPixelsX(this, kInnerWidth),
           platform::twipsToPixelsY(this, kInnerHeight));
    connect(cmdExit, &QPushButton::clicked, this, &fomView::cmdExit_Click);
}

void fomView::View(std::u16string_view title, std::u16string_view text, const QString& fontFace)
{
    setWindowTitle(platform::toQString(title));
    m_text = platform::toQString(text);
    m_text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_fontFace = fontFace;
    // Shown at once, in case the window manager never reports the window active.
    Form_Activate();
    exec();
}

bool fomView::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QDialog::event(event);
}

void fomView::Form_Activate()
{
    QFont font = txtView->font();
    if (!m_fontFace.isEmpty())
        font.setFamily(m_fontFace);
    txtView->setFont(font);
    txtView->setPlainText(m_text);
}

void fomView::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void fomView::Form_Resize()
{
    const int innerWidth = platform::pixelsToTwipsX(this, width());
    const int innerHeight = platform::pixelsToTwipsY(this, height());
    if (innerHeight <= kLeastLaidOutHeight)
        return;
    platform::placeInTwips(txtView, {0, 0, innerWidth, innerHeight - 600});
    platform::placeInTwips(
        cmdExit, {(innerWidth - kButtonWidth) / 2, innerHeight - 510, kButtonWidth, kButtonHeight});
}

bool fomView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtView && event->type() == QEvent::KeyPress) {
        if (txtView_KeyPress(controlCode(static_cast<QKeyEvent*>(event))))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool fomView::txtView_KeyPress(int KeyAscii)
{
    if (KeyAscii == 1) {
        txtView->selectAll();
        return true;
    }
    if (KeyAscii == 3) {
        const std::u16string selected = selectionText(txtView->textCursor());
        platform::clearClipboard();
        if (!selected.empty())
            platform::putOnClipboard(selected);
        return true;
    }
    return false;
}

void fomView::cmdExit_Click() { close(); }

} // namespace kestrova::pgpui
