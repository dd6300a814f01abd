// The program's command line: empty, "-f" and the file another program hands over (plug-in
// mode), or a file to read.
#pragma once

#include <string>
#include <string_view>

namespace kestrova::shell {

struct CommandLine
{
    bool pluginMode = false; // "-f" in any letter case began it
    std::u16string file; // the file named, quotes and surrounding blanks taken off; may be empty
};

// arguments: the text that follows the program's name, as one string. The file's name may
// follow "-f" with or without a blank, and may be wrapped in double quotes.
[[nodiscard]] CommandLine parseCommandLine(std::u16string_view arguments);

} // namespace kestrova::shell
