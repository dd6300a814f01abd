#include "shell/commandline.h"

namespace kestrova::shell {

namespace {

// Blanks, as the command line and the settings trim them: spaces only.
std::u16string_view trimBlanks(std::u16string_view text)
{
    while (!text.empty() && text.front() == u' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == u' ')
        text.remove_suffix(1);
    return text;
}

std::u16string_view unquoted(std::u16string_view name)
{
    if (name.size() >= 2 && name.front() == u'"' && name.back() == u'"')
        return name.substr(1, name.size() - 2);
    if (name == u"\"")
        return {}; // a lone quote begins and ends with itself: no name at all
    return name;
}

bool pluginModeAsked(std::u16string_view arguments)
{
    return arguments.size() >= 2 && arguments[0] == u'-' &&
           (arguments[1] == u'f' || arguments[1] == u'F');
}

} // namespace

CommandLine parseCommandLine(std::u16string_view arguments)
{
    CommandLine line;
    line.pluginMode = pluginModeAsked(arguments);
    if (line.pluginMode)
        arguments.remove_prefix(2);
    line.file = std::u16string(trimBlanks(unquoted(trimBlanks(arguments))));
    return line;
}

} // namespace kestrova::shell
