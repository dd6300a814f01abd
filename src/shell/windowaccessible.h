// The main window as assistive technology sees it: an application window, not a filler.
#pragma once

namespace kestrova::shell {

// Makes the main window a top-level window for screen readers, named by its caption. Once per
// process; later calls change nothing.
void registerMainWindowAccessibility();

} // namespace kestrova::shell
