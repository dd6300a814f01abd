// The whole-input path of kestrova-cli's work: the reference the piece-by-piece pipeline is
// held to by the differential tests and the pipeline fuzzer.
#pragma once

#include "stream/pipeline.h"

#include <string_view>

namespace kestrova::stream {

// Runs a text command or convert over input as the window reads a file: the byte converters
// on the whole input first, then the text decoded in pieces; the output is written once,
// complete, so a refusal writes nothing. It costs a few times the input in memory.
[[nodiscard]] RunResult runWhole(const Task& o, std::string_view input, Output& out);

} // namespace kestrova::stream
