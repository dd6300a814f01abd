// The window's layout and its column ruler: the stack of strips, the font the ruler measures
// in, the scale, the handle and its scrolling with the text box.
#include "platform/fonts.h"
#include "platform/qtext.h"
#include "shell/mainwindow.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegion>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace kestrova::shell {

namespace {

using platform::toQString;

constexpr int kTrayWidth = 6975;

constexpr int kScaleLength = 1000;

// Mouse buttons as the ruler's handlers see them: the state of every button the event is about.
constexpr int kLeftButton = 1;

QString scaleText()
{
    QString scale;
    scale.reserve(kScaleLength);
    for (int i = 1; i <= kScaleLength / 10; ++i)
        scale += QStringLiteral("----+----") + QChar(u'0' + i % 10);
    return scale;
}

int toTwips(float value) { return static_cast<int>(std::lround(value)); }

int buttonBits(Qt::MouseButtons buttons)
{
    int bits = 0;
    if (buttons & Qt::LeftButton)
        bits |= 1;
    if (buttons & Qt::RightButton)
        bits |= 2;
    if (buttons & Qt::MiddleButton)
        bits |= 4;
    if (buttons & ~(Qt::LeftButton | Qt::RightButton | Qt::MiddleButton))
        bits |= 8;
    return bits;
}

// A press counts the buttons held with it; a release counts the one let go as well, so that
// letting go of the left button while another is still down is not a left release.
int buttonState(const QMouseEvent* event) { return buttonBits(event->buttons() | event->button()); }

} // namespace

void dorUrerUvuroze::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

// Minimising and restoring do not resize the widget here, but they lay the window out all
// the same.
void dorUrerUvuroze::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

// The stack: ruler, text box, command strip, and the PGP strip when it is on.
void dorUrerUvuroze::Form_Resize()
{
    if (picGage == nullptr)
        return;
    const auto width = static_cast<float>(platform::pixelsToTwipsExactX(this, this->width()));
    const auto height = static_cast<float>(platform::pixelsToTwipsExactY(this, this->height()));
    if (width >= static_cast<float>(kTrayWidth)) {
        m_picGageRect.width = toTwips(width);
        m_txtDataRect.width = toTwips(width);
    }
    GageResize();
    const auto gageHeight = static_cast<float>(m_picGageRect.height);
    const auto trayHeight = static_cast<float>(m_picCmdTrayRect.height);
    const auto pgpHeight = static_cast<float>(m_picPgpTrayRect.height);
    // The PGP strip counts even while hidden: a window too low keeps its previous layout.
    if (gageHeight + trayHeight + pgpHeight > height) {
        platform::placeInTwips(txtData, m_txtDataRect);
        return;
    }
    const float textTop = gageHeight;
    float textHeight = height - textTop - trayHeight;
    if (m_settings.PgpFlg != 0)
        textHeight -= pgpHeight;
    const float trayTop = textTop + textHeight;
    m_txtDataRect.top = toTwips(textTop);
    m_txtDataRect.height = toTwips(textHeight);
    m_picCmdTrayRect.top = toTwips(trayTop);
    if (m_settings.PgpFlg != 0)
        m_picPgpTrayRect.top = toTwips(trayTop + trayHeight);
    platform::placeInTwips(txtData, m_txtDataRect);
    platform::placeInTwips(picCmdTray, m_picCmdTrayRect);
    platform::placeInTwips(picPgpTray, m_picPgpTrayRect);
}

void dorUrerUvuroze::FontSet()
{
    const QFont font = platform::textFont(toQString(m_settings.FontName), m_settings.FontSize);
    // The window's own font is the ruler's measure; set on the widget itself, Qt would hand
    // it down to the buttons as well.
    m_windowFont = font;
    lblGage->setFont(font);
    txtData->setFont(font);
}

void dorUrerUvuroze::GageInit() { lblGage->setText(scaleText()); }

int dorUrerUvuroze::textWidthTwips(const QString& text) const
{
    return platform::pixelsToTwipsX(this, QFontMetrics(m_windowFont, this).horizontalAdvance(text));
}

int dorUrerUvuroze::LeftToColumns(int x)
{
    const QString scale = lblGage->text();
    if (x < 0)
        return 1;
    const QString font = m_windowFont.key() + QLatin1Char('@') + QString::number(logicalDpiX()) +
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

// The ruler's size follows its label; the handle stands on the Columns-th scale character.
void dorUrerUvuroze::GageResize()
{
    const int inner = platform::pixelsToTwipsY(this, picGage->contentsRect().height());
    const int border = m_picGageRect.height - inner;
    lblGage->adjustSize();
    const int labelHeight = platform::pixelsToTwipsY(this, lblGage->height());
    const int labelWidth = platform::pixelsToTwipsX(this, lblGage->width());
    const QString scale = lblGage->text();
    // No scale character stands below column 1: a smaller Columns is shown as 1.
    const int columns = std::max(1, m_settings.Columns);
    m_cmdGageRect.height = labelHeight;
    m_cmdGageRect.width = columns <= scale.size() ? textWidthTwips(scale.mid(columns - 1, 1)) : 0;
    m_cmdGageRect.left = textWidthTwips(scale.left(columns - 1));
    m_picGageScrlRect.height = labelHeight;
    m_picGageScrlRect.width = labelWidth;
    m_picGageRect.height = m_picGageScrlRect.height + border;
    platform::placeInTwips(cmdGage, m_cmdGageRect);
    platform::placeInTwips(picGage, m_picGageRect);
    placeGageScrl();
}

void dorUrerUvuroze::GageScrl()
{
    const double scrolled =
        platform::pixelsToTwipsExactX(this, txtData->horizontalScrollBar()->value());
    const int left = static_cast<int>(std::lround(-scrolled));
    if (left == m_picGageScrlRect.left)
        return;
    m_picGageScrlRect.left = left;
    placeGageScrl();
}

// Where the text box draws its first column, in pixels from its left edge: inside its frame
// and its document's margin.
int dorUrerUvuroze::textOriginPixels() const
{
    return txtData->contentsRect().left() +
           static_cast<int>(std::lround(txtData->document()->documentMargin()));
}

// Left 0 inside the ruler strip is the point above the text's first column, and top 0 is
// inside its border, so that the scale's marks stand over the text's columns.
void dorUrerUvuroze::placeGageScrl()
{
    const int origin = txtData->x() + textOriginPixels() - picGage->x();
    picGageScrl->setGeometry(origin + platform::twipsToPixelsX(this, m_picGageScrlRect.left),
                             picGage->contentsRect().top() +
                                 platform::twipsToPixelsY(this, m_picGageScrlRect.top),
                             platform::twipsToPixelsX(this, m_picGageScrlRect.width),
                             platform::twipsToPixelsY(this, m_picGageScrlRect.height));
    // The strip clips the scale and the handle to its inside, leaving its border whole.
    picGageScrl->setMask(QRegion(picGage->contentsRect().translated(-picGageScrl->pos())));
}

void dorUrerUvuroze::cmdGage_MouseDown(int button, double x)
{
    if (button != kLeftButton)
        return;
    GageDragging = true;
    GageGrabX = static_cast<int>(std::lround(x));
}

// No bounds while dragging: the drop decides the column, and the layout snaps the handle.
void dorUrerUvuroze::cmdGage_MouseMove(int button, double x)
{
    if (button != kLeftButton || !GageDragging)
        return;
    m_cmdGageRect.left = static_cast<int>(std::lround(m_cmdGageRect.left + x - GageGrabX));
    platform::placeInTwips(cmdGage, m_cmdGageRect);
}

void dorUrerUvuroze::cmdGage_MouseUp(int button, double x)
{
    if (button != kLeftButton || !GageDragging)
        return;
    GageDragging = false;
    m_cmdGageRect.left = static_cast<int>(std::lround(m_cmdGageRect.left + x - GageGrabX));
    platform::placeInTwips(cmdGage, m_cmdGageRect);
    m_settings.Columns = LeftToColumns(m_cmdGageRect.left);
    Form_Resize();
}

void dorUrerUvuroze::lblGage_MouseDown(int button, double x)
{
    if (button != kLeftButton)
        return;
    GageClickX = static_cast<int>(std::lround(x));
}

void dorUrerUvuroze::lblGage_DblClick()
{
    m_settings.Columns = LeftToColumns(GageClickX);
    Form_Resize();
}

bool dorUrerUvuroze::rulerEvent(QObject* watched, QEvent* event)
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

} // namespace kestrova::shell
