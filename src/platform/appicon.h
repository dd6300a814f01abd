// Kestrova's icon, drawn for it and compiled into the program in every size it ships.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kestrova::platform {

// The icon name in the desktop's icon theme (hicolor), the same as the desktop entry's.
inline constexpr char kIconName[] = "kestrova";

// Every window's icon: the theme's icon of that name when the desktop has one, else the sizes
// built into the program.
[[nodiscard]] QIcon appIcon();

// The built-in picture of the given size (16, 22, 24, 32, 48, 64, 128 or 256 pixels).
[[nodiscard]] QPixmap appIconPixmap(int size);

} // namespace kestrova::platform
