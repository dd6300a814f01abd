#include "platform/twips.h"

#include <QWidget>

#include <cmath>

namespace kestrova::platform {

int twipsToPixels(int twips, int dpi)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

int pixelsToTwips(int pixels, int dpi)
{
    if (dpi <= 0)
        return 0;
    return static_cast<int>(std::lround(static_cast<double>(pixels) * kTwipsPerInch / dpi));
}

int twipsToPixelsX(const QWidget* widget, int twips)
{
    return twipsToPixels(twips, widget->logicalDpiX());
}

int twipsToPixelsY(const QWidget* widget, int twips)
{
    return twipsToPixels(twips, widget->logicalDpiY());
}

int pixelsToTwipsX(const QWidget* widget, int pixels)
{
    return pixelsToTwips(pixels, widget->logicalDpiX());
}

int pixelsToTwipsY(const QWidget* widget, int pixels)
{
    return pixelsToTwips(pixels, widget->logicalDpiY());
}

double pixelsToTwipsExactX(const QWidget* widget, double pixels)
{
    const int dpi = widget->logicalDpiX();
    return dpi <= 0 ? 0.0 : pixels * kTwipsPerInch / dpi;
}

double pixelsToTwipsExactY(const QWidget* widget, double pixels)
{
    const int dpi = widget->logicalDpiY();
    return dpi <= 0 ? 0.0 : pixels * kTwipsPerInch / dpi;
}

void placeInTwips(QWidget* widget, const TwipRect& rect)
{
    widget->setGeometry(twipsToPixelsX(widget, rect.left), twipsToPixelsY(widget, rect.top),
                        twipsToPixelsX(widget, rect.width), twipsToPixelsY(widget, rect.height));
}

} // namespace kestrova::platform
