#include "shell/placement.h"

#include "platform/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace kestrova::shell {

Placement placementOf(const settings::WindowGeometry& geometry, const QWidget* window)
{
    using platform::twipsToPixelsX;
    using platform::twipsToPixelsY;
    Placement placement;
    QRect rect(0, 0, twipsToPixelsX(window, kDesignedWidth),
               twipsToPixelsY(window, kDesignedHeight));
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect desk = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    rect.moveCenter(desk.center());
    if (!geometry.centre) {
        if (geometry.hasLeft)
            rect.moveLeft(twipsToPixelsX(window, geometry.Left));
        if (geometry.hasTop)
            rect.moveTop(twipsToPixelsY(window, geometry.Top));
        if (geometry.hasWidth)
            rect.setWidth(twipsToPixelsX(window, geometry.Width));
        if (geometry.hasHeight)
            rect.setHeight(twipsToPixelsY(window, geometry.Height));
        // A window left on a screen that is gone would open where nobody can see it.
        const QScreen* on = nullptr;
        for (const QScreen* each : QGuiApplication::screens()) {
            if (on == nullptr && each->availableGeometry().intersects(rect))
                on = each;
        }
        if (on == nullptr) {
            on = screen;
            rect.moveCenter(desk.center());
        }
        // However large the file says, the window fits the screen it opens on: a window of
        // 32767 pixels a side costs gigabytes and hides its own buttons.
        if (on != nullptr) {
            const QRect available = on->availableGeometry();
            rect.setWidth(std::min(rect.width(), available.width()));
            rect.setHeight(std::min(rect.height(), available.height()));
            if (!available.contains(rect))
                rect.moveTo(
                    std::clamp(rect.x(), available.left(), available.right() - rect.width() + 1),
                    std::clamp(rect.y(), available.top(), available.bottom() - rect.height() + 1));
        }
    }
    placement.rect = rect;
    placement.state =
        geometry.hasState && geometry.State >= 0 && geometry.State <= 2 ? geometry.State : 0;
    return placement;
}

settings::WindowGeometry geometryOf(const QWidget* window)
{
    using platform::pixelsToTwipsX;
    using platform::pixelsToTwipsY;
    settings::WindowGeometry geometry;
    geometry.State = window->isMinimized() ? 1 : window->isMaximized() ? 2 : 0;
    // A window closed maximised or minimised records where its normal window stands.
    QRect rect = geometry.State != 0 ? window->normalGeometry() : window->geometry();
    if (!rect.isValid())
        rect = window->geometry();
    geometry.Left = pixelsToTwipsX(window, rect.x());
    geometry.Top = pixelsToTwipsY(window, rect.y());
    geometry.Width = pixelsToTwipsX(window, rect.width());
    geometry.Height = pixelsToTwipsY(window, rect.height());
    return geometry;
}

} // namespace kestrova::shell
