// Where the program finds what it ships: its helper programs and its data (the help), from its
// own folder, so that the build tree and a tree installed under any prefix both find their own.
#pragma once

#include <QString>

namespace kestrova::platform {

// The helper program name that only the window runs: in the installed helper folder (lib/kestrova
// beside the program's bin/), else beside the program, as in the build tree, else in the
// configured helper folder. When none is there, the installed place, so that a message names
// where it belongs.
[[nodiscard]] QString helperProgram(const QString& programDir, const QString& name);

// The installed data folder (share/kestrova beside the program's bin/) when it is there, else
// the configured one, for a program moved away from its tree.
[[nodiscard]] QString installedDataDir(const QString& programDir);

} // namespace kestrova::platform
