#include "ruler/ruler.h"

#include "ruler/ruleraccessible.h"

#include <QAccessible>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegion>
#include <QScrollBar>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace kestrova::ruler {

namespace {

using platform::TwipRect;

constexpr int kScaleLength = 1000;

// The strips' designed measures; the layout sizes them to the scale.
constexpr TwipRect kPicGageScrl{0, 0, 2415, 255};
constexpr TwipRect kCmdGage{840, 0, 135, 225};
constexpr TwipRect kLblGage{0, 0, 570, 180};

// Mouse buttons as the handlers see them: the state of every button the event is about.
constexpr int kLeftButton = 1;
constexpr int kRightButton = 2;
constexpr int kMiddleButton = 4;
constexpr int kOtherButton = 8;

QString scaleText()
{
    QString scale;
    scale.reserve(kScaleLength);
    for (int i = 1; i <= kScaleLength / 10; ++i)
        scale += QStringLiteral("----+----") + QChar(u'0' + i % 10);
    return scale;
}

int buttonBits(Qt::MouseButtons buttons)
{
    int bits = 0;
    if (buttons & Qt::LeftButton)
        bits |= kLeftButton;
    if (buttons & Qt::RightButton)
        bits |= kRightButton;
    if (buttons & Qt::MiddleButton)
        bits |= kMiddleButton;
    if (buttons & ~(Qt::LeftButton | Qt::RightButton | Qt::MiddleButton))
        bits |= kOtherButton;
    return bits;
}

// A press counts the buttons held with it; a release counts the one let go as well, so that
// letting go of the left button while another is still down is not a left release.
int buttonState(const QMouseEvent* event) { return buttonBits(event->buttons() | event->button()); }

int rounded(double twips) { return static_cast<int>(std::lround(twips)); }

} // namespace

ColumnRuler::ColumnRuler(QPlainTextEdit* textBox, QWidget* parent)
    : QFrame(parent)
    , m_textBox(textBox)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    picGageScrl = new QWidget(this);
    lblGage = new QLabel(picGageScrl);
    cmdGage = new QPushButton(picGageScrl);
    cmdGage->setFocusPolicy(Qt::NoFocus);
    registerRulerAccessibility();
    // Without names, a screen reader would read the 1000 characters of the scale and an
    // unnamed button.
    lblGage->setAccessibleName(QStringLiteral("目盛り"));
    lblGage->setAccessibleDescription(
        QStringLiteral("本文の桁の目盛り。ダブルクリックした桁が桁数になります"));
    cmdGage->setAccessibleName(QStringLiteral("桁数のつまみ"));
    cmdGage->setAccessibleDescription(
        QStringLiteral("桁数の位置に立つつまみ。ドラッグして離した桁が桁数になります"));
    m_picGageScrlRect = kPicGageScrl;
    m_cmdGageRect = kCmdGage;
    platform::placeInTwips(picGageScrl, m_picGageScrlRect);
    platform::placeInTwips(cmdGage, m_cmdGageRect);
    platform::placeInTwips(lblGage, kLblGage);
    cmdGage->raise();
    lblGage->installEventFilter(this);
    cmdGage->installEventFilter(this);
    m_scaleFont = font();
}

void ColumnRuler::GageInit() { lblGage->setText(scaleText()); }

void ColumnRuler::setScaleFont(const QFont& font)
{
    // Set on the label alone: the handle keeps the window's own font.
    m_scaleFont = font;
    lblGage->setFont(font);
}

void ColumnRuler::setTwipRect(const TwipRect& rect)
{
    m_picGageRect = rect;
    platform::placeInTwips(this, m_picGageRect);
}

void ColumnRuler::setTwipWidth(int width) { m_picGageRect.width = width; }

int ColumnRuler::textWidthTwips(const QString& text) const
{
    return platform::pixelsToTwipsX(this, QFontMetrics(m_scaleFont, this).horizontalAdvance(text));
}

int ColumnRuler::LeftToColumns(int x)
{
    const QString scale = lblGage->text();
    if (x < 0)
        return 1;
    const QString font = m_scaleFont.key() + QLatin1Char('@') + QString::number(logicalDpiX()) +
                         QLatin1Char('@') + scale;
    if (font != m_gageWidthsFont || m_gageWidths.size() != static_cast<std::size_t>(scale.size())) {
        m_gageWidths.clear();
        m_gageWidths.reserve(static_cast<std::size_t>(scale.size()));
        int widest = 0;
        for (qsizetype i = 1; i <= scale.size(); ++i) {
            widest = std::max(widest, textWidthTwips(scale.left(i)));
            m_gageWidths.push_back(widest);
        }
        m_gageWidthsFont = font;
    }
    const auto wider = std::upper_bound(m_gageWidths.begin(), m_gageWidths.end(), x);
    return static_cast<int>(wider - m_gageWidths.begin()) + 1;
}

void ColumnRuler::GageResize(int columns)
{
    const int inner = platform::pixelsToTwipsY(this, contentsRect().height());
    const int border = m_picGageRect.height - inner;
    lblGage->adjustSize();
    const int labelHeight = platform::pixelsToTwipsY(this, lblGage->height());
    const int labelWidth = platform::pixelsToTwipsX(this, lblGage->width());
    const QString scale = lblGage->text();
    columns = std::max(1, columns);
    if (columns != m_columns) {
        m_columns = columns;
        QAccessibleValueChangeEvent changed(this, m_columns);
        QAccessible::updateAccessibility(&changed);
    }
    m_cmdGageRect.height = labelHeight;
    m_cmdGageRect.width = columns <= scale.size() ? textWidthTwips(scale.mid(columns - 1, 1)) : 0;
    m_cmdGageRect.left = textWidthTwips(scale.left(columns - 1));
    m_picGageScrlRect.height = labelHeight;
    m_picGageScrlRect.width = labelWidth;
    m_picGageRect.height = m_picGageScrlRect.height + border;
    platform::placeInTwips(cmdGage, m_cmdGageRect);
    platform::placeInTwips(this, m_picGageRect);
    placeGageScrl();
}

void ColumnRuler::chooseColumns(int columns)
{
    emit columnsChosen(std::clamp(columns, 1, kScaleLength + 1));
}

void ColumnRuler::GageScrl()
{
    if (m_textBox.isNull())
        return;
    const double scrolled =
        platform::pixelsToTwipsExactX(this, m_textBox->horizontalScrollBar()->value());
    const int left = rounded(-scrolled);
    if (left == m_picGageScrlRect.left)
        return;
    m_picGageScrlRect.left = left;
    placeGageScrl();
}

void ColumnRuler::hook()
{
    if (m_hooked || m_textBox.isNull())
        return;
    connect(m_textBox->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            &ColumnRuler::GageScrl);
    m_textBox->viewport()->installEventFilter(this);
    m_hooked = true;
}

void ColumnRuler::unhook()
{
    if (!m_hooked || m_textBox.isNull())
        return;
    disconnect(m_textBox->horizontalScrollBar(), &QScrollBar::valueChanged, this,
               &ColumnRuler::GageScrl);
    m_textBox->viewport()->removeEventFilter(this);
    m_hooked = false;
}

// Where the text box draws its first column, in pixels from its left edge: inside its frame
// and its document's margin.
int ColumnRuler::textOriginPixels() const
{
    return m_textBox->contentsRect().left() +
           static_cast<int>(std::lround(m_textBox->document()->documentMargin()));
}

// Left 0 inside the strip is the point above the text's first column, and top 0 is inside
// its border, so that the scale's marks stand over the text's columns.
void ColumnRuler::placeGageScrl()
{
    const int origin =
        m_textBox.isNull() ? contentsRect().left() : m_textBox->x() + textOriginPixels() - x();
    picGageScrl->setGeometry(origin + platform::twipsToPixelsX(this, m_picGageScrlRect.left),
                             contentsRect().top() +
                                 platform::twipsToPixelsY(this, m_picGageScrlRect.top),
                             platform::twipsToPixelsX(this, m_picGageScrlRect.width),
                             platform::twipsToPixelsY(this, m_picGageScrlRect.height));
    // The strip clips the scale and the handle to its inside, leaving its border whole.
    picGageScrl->setMask(QRegion(contentsRect().translated(-picGageScrl->pos())));
}

void ColumnRuler::cmdGage_MouseDown(int button, double x)
{
    if (button != kLeftButton)
        return;
    GageDragging = true;
    GageGrabX = rounded(x);
}

// No bounds while dragging: the drop decides the column, and the layout snaps the handle.
void ColumnRuler::cmdGage_MouseMove(int button, double x)
{
    if (button != kLeftButton || !GageDragging)
        return;
    m_cmdGageRect.left = rounded(m_cmdGageRect.left + x - GageGrabX);
    platform::placeInTwips(cmdGage, m_cmdGageRect);
}

void ColumnRuler::cmdGage_MouseUp(int button, double x)
{
    if (button != kLeftButton || !GageDragging)
        return;
    GageDragging = false;
    m_cmdGageRect.left = rounded(m_cmdGageRect.left + x - GageGrabX);
    platform::placeInTwips(cmdGage, m_cmdGageRect);
    emit columnsChosen(LeftToColumns(m_cmdGageRect.left));
}

void ColumnRuler::lblGage_MouseDown(int button, double x)
{
    if (button != kLeftButton)
        return;
    GageClickX = rounded(x);
}

void ColumnRuler::lblGage_DblClick() { emit columnsChosen(LeftToColumns(GageClickX)); }

bool ColumnRuler::eventFilter(QObject* watched, QEvent* event)
{
    if (m_hooked && !m_textBox.isNull() && watched == m_textBox->viewport() &&
        event->type() == QEvent::Paint) {
        GageScrl();
        return false;
    }
    if (mouseEvent(watched, event))
        return true;
    return QFrame::eventFilter(watched, event);
}

bool ColumnRuler::mouseEvent(QObject* watched, QEvent* event)
{
    if (watched != cmdGage && watched != lblGage)
        return false;
    const QEvent::Type type = event->type();
    // The handle is not moved by the keyboard.
    if (watched == cmdGage && (type == QEvent::KeyPress || type == QEvent::KeyRelease))
        return true;
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const int state = buttonState(mouse);
    const double x = platform::pixelsToTwipsExactX(this, mouse->position().x());
    // The events go on to the controls, so the handle looks pressed while it is held.
    if (watched == cmdGage) {
        switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: // a quick second grab is a grab all the same
            cmdGage_MouseDown(state, x);
            break;
        case QEvent::MouseMove:
            cmdGage_MouseMove(state, x);
            break;
        default:
            cmdGage_MouseUp(state, x);
            break;
        }
        return false;
    }
    if (type == QEvent::MouseButtonPress) {
        lblGage_MouseDown(state, x);
    } else if (type == QEvent::MouseButtonDblClick && state == kLeftButton) {
        // The double-click's own press may come only as this event: it is where the scale
        // was pressed last.
        lblGage_MouseDown(state, x);
        lblGage_DblClick();
    }
    return false;
}

} // namespace kestrova::ruler
