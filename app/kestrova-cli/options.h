// The command line of kestrova-cli: subcommands, their options and their checks.
#pragma once

#include "engine/settings.h"
#include "io/textcodec.h"
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

struct Options
{
    Command command = Command::Help;
    engine::ReflowSettings settings;
    bool crlf = false;
    io::OutputCode outputCode = io::OutputCode::Utf8;
    int convertTo = 0; // target code of convert: io::kTargetSjis, kTargetJis, kTargetEuc or
                       // kConvertToUtf8
    bool report = false;
    std::string file = "-";
};

struct ParseResult
{
    Options options;
    std::string error; // empty when the command line is good
};

[[nodiscard]] ParseResult parseOptions(const std::vector<std::string>& args);

[[nodiscard]] const char* usageText();

} // namespace kestrova::cli
