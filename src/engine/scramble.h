// EasyScranble under its former name: it lives with the settings file, in settings/scramble.h.
// Only for callers not yet moved there; engine code must not use it (engine links no settings).
#pragma once

#include "settings/scramble.h"

namespace kestrova::engine {

using settings::EasyScranble;

} // namespace kestrova::engine
