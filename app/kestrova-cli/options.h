// The command line of kestrova-cli: subcommands, their options and their checks.
#pragma once

#include "stream/task.h"

#include <string>
#include <vector>

namespace kestrova::cli {

enum class Command
{
    Help,
    Version,
    Align,
    Quote,
    Unquote,
    Widen,
    Convert,
    Detect,
};

using stream::kConvertToUtf8;

// The settings of the run, and what only the command line knows: help, version, detect and
// --report.
struct Options : stream::TaskSettings
{
    Command command = Command::Help;
    bool report = false;
};

struct ParseResult
{
    Options options;
    std::string error; // empty when the command line is good
};

[[nodiscard]] ParseResult parseOptions(const std::vector<std::string>& args);

[[nodiscard]] const char* usageText();

} // namespace kestrova::cli
