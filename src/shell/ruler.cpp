// The window's layout and its column ruler: the stack of strips, the font the ruler measures
// in, the scale, the handle and its scrolling with the text box.
#include "shell/mainwindow.h"

#include "platform/fonts.h"
#include "platform/qtext.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

namespace kestrova::shell {

namespace {

using platform::toQString;

constexpr int kTrayWidth = 6975;

constexpr int kScaleLength = 1000;

QString scaleText()
{
    QString scale;
    scale.reserve(kScaleLength);
    for (int i = 1; i <= kScaleLength / 10; ++i)
        scale += QStringLiteral("----+----") + QChar(u'0' + i % 10);
    return scale;
}

} // namespace

void dorUrerUvuroze::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

// The stack: ruler, text box, command strip, and the PGP strip when it is on.
void dorUrerUvuroze::Form_Resize()
{
    const int width = platform::pixelsToTwipsX(this, this->width());
    const int height = platform::pixelsToTwipsY(this, this->height());
    if (width >= kTrayWidth) {
        m_picGageRect.width = width;
        m_txtDataRect.width = width;
    }
    GageResize();
    if (m_picGageRect.height + m_picCmdTrayRect.height + m_picPgpTrayRect.height > height)
        return; // too low: the vertical layout stays as it was
    m_txtDataRect.top = m_picGageRect.height;
    m_txtDataRect.height = height - m_txtDataRect.top - m_picCmdTrayRect.height;
    if (m_settings.PgpFlg != 0)
        m_txtDataRect.height -= m_picPgpTrayRect.height;
    m_picCmdTrayRect.top = m_txtDataRect.top + m_txtDataRect.height;
    m_picPgpTrayRect.top = m_picCmdTrayRect.top + m_picCmdTrayRect.height;
    platform::placeInTwips(picGage, m_picGageRect);
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

void dorUrerUvuroze::GageInit()
{
    lblGage->setText(scaleText());
}

int dorUrerUvuroze::textWidthTwips(const QString& text) const
{
    return platform::pixelsToTwipsX(this, QFontMetrics(m_windowFont).horizontalAdvance(text));
}

// The ruler's size follows its label; the handle stands on the Columns-th scale character.
void dorUrerUvuroze::GageResize()
{
    const int border = platform::pixelsToTwipsY(this, 2 * picGage->frameWidth());
    lblGage->adjustSize();
    const int labelHeight = platform::pixelsToTwipsY(this, lblGage->height());
    const int labelWidth = platform::pixelsToTwipsX(this, lblGage->width());
    const QString scale = lblGage->text();
    const int columns = std::max(1, m_settings.Columns);
    m_cmdGageRect.height = labelHeight;
    m_cmdGageRect.width =
        columns <= scale.size() ? textWidthTwips(scale.mid(columns - 1, 1)) : 0;
    m_cmdGageRect.left = textWidthTwips(scale.left(columns - 1));
    m_picGageScrlRect.height = labelHeight;
    m_picGageScrlRect.width = labelWidth;
    m_picGageRect.height = m_picGageScrlRect.height + border;
    platform::placeInTwips(cmdGage, m_cmdGageRect);
    platform::placeInTwips(picGageScrl, m_picGageScrlRect);
    platform::placeInTwips(picGage, m_picGageRect);
}

void dorUrerUvuroze::GageScrl()
{
    const int left = -platform::pixelsToTwipsX(this, txtData->horizontalScrollBar()->value());
    if (left == m_picGageScrlRect.left)
        return;
    m_picGageScrlRect.left = left;
    platform::placeInTwips(picGageScrl, m_picGageScrlRect);
}

bool dorUrerUvuroze::rulerEvent(QObject* watched, QEvent* event)
{
    static_cast<void>(watched);
    static_cast<void>(event);
    return false;
}

} // namespace kestrova::shell
