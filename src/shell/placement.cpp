#include "shell/placement.h"

#include "platform/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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
        bool visible = false;
        for (const QScreen* each : QGuiApplication::screens())
            visible = visible || each->availableGeometry().intersects(rect);
        if (!visible)
            rect.moveCenter(desk.center());
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
