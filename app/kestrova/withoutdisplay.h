// What the window program does before it has a display: --help and --version, which need none,
// and one clear line with exit status 2, instead of Qt's abort, when there is no display.
#pragma once

#include <optional>

namespace kestrova::app {

// The exit status when no window can be opened.
inline constexpr int kExitNoDisplay = 2;

// Answers --help and --version (the first argument) and a start without any display named;
// the exit status when the program is to end here, nullopt when it goes on to open its window.
[[nodiscard]] std::optional<int> answerBeforeDisplay(int argc, char** argv);

// While it lives, a display that Qt cannot open ends the program with one line on standard
// error and kExitNoDisplay; Qt's own messages of that moment are kept back and, when the
// display opened after all, passed on as they came.
class DisplayGuard
{
public:
    DisplayGuard();
    ~DisplayGuard();
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;
};

} // namespace kestrova::app
