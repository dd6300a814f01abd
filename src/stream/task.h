// What the pipeline is asked to do: a text command or convert, with its settings and codes.
#pragma once

#include "engine/settings.h"
#include "io/textcodec.h"

#include <string>

namespace kestrova::stream {

enum class Command
{
    Align,
    Quote,
    Unquote,
    Widen,
    Convert,
};

// convert's target UTF-8, beside CodeConvert's own three.
inline constexpr int kConvertToUtf8 = 3;

// What a run is told besides its command: the command line fills it in, the pipeline reads it.
struct TaskSettings
{
    engine::ReflowSettings settings;
    bool crlf = false;
    io::OutputCode outputCode = io::OutputCode::Utf8;
    int convertTo = 0;      // target code of convert: io::kTargetSjis, kTargetJis, kTargetEuc or
                            // kConvertToUtf8
    std::string file = "-"; // the input as messages name it: "-" for standard input
};

struct Task : TaskSettings
{
    Command command = Command::Align;
};

} // namespace kestrova::stream
