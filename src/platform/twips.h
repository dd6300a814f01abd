// Twips, the unit of the designed geometry, and the pixels of the widget they meet.
#pragma once

class QWidget;

namespace kestrova::platform {

inline constexpr int kTwipsPerInch = 1440;

// A rectangle in twips: left, top, width and height inside the parent.
struct TwipRect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const TwipRect&, const TwipRect&) = default;
};

// pixels = twips × logical DPI / 1440, rounded to the nearest pixel.
[[nodiscard]] int twipsToPixels(int twips, int dpi);
[[nodiscard]] int pixelsToTwips(int pixels, int dpi);

// Horizontal measures use the widget's logical DPI across, vertical ones its DPI down.
[[nodiscard]] int twipsToPixelsX(const QWidget* widget, int twips);
[[nodiscard]] int twipsToPixelsY(const QWidget* widget, int twips);
[[nodiscard]] int pixelsToTwipsX(const QWidget* widget, int pixels);
[[nodiscard]] int pixelsToTwipsY(const QWidget* widget, int pixels);

// A pixel position or size, such as a mouse position, in twips without rounding.
[[nodiscard]] double pixelsToTwipsExactX(const QWidget* widget, double pixels);
[[nodiscard]] double pixelsToTwipsExactY(const QWidget* widget, double pixels);

// Gives the widget the rectangle, converted with its own DPI.
void placeInTwips(QWidget* widget, const TwipRect& rect);

} // namespace kestrova::platform
