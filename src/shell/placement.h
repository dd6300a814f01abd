// Where the window opens and what of its place the settings file keeps.
#pragma once

#include "settings/settingsfile.h"

#include <QRect>

class QWidget;

namespace kestrova::shell {

// The client area of a first start, in twips.
inline constexpr int kDesignedWidth = 7095;
inline constexpr int kDesignedHeight = 3870;

struct Placement
{
    QRect rect;    // in pixels
    int state = 0; // 0 normal, 1 minimised, 2 maximised
};

// The place the settings file gives, in window's pixels: centred on the primary screen where it
// gives none, and centred too when it would lie on no screen at all.
[[nodiscard]] Placement placementOf(const settings::WindowGeometry& geometry,
                                    const QWidget* window);

// The window's state and its normal place, as the settings file keeps them.
[[nodiscard]] settings::WindowGeometry geometryOf(const QWidget* window);

} // namespace kestrova::shell
