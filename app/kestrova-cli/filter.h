// kestrova-cli's contract around the work: the input read, the output held, the exit status.
#pragma once

#include "options.h"

#include "stream/task.h"

#include <cstddef>
#include <functional>

namespace kestrova::cli {

// Runs a text command, convert or detect on the options' input, writing standard output and
// one line on standard error: kExitDone with the whole result written; kExitBadInput with
// nothing written; kExitWriteFailed when standard output failed. passed (when set) learns each
// position the passes over the input reach, as runPipeline's consumed does.
// The pipeline's task for a text command or convert.
[[nodiscard]] stream::Task taskOf(const Options& o);

[[nodiscard]] int runFilter(const Options& o, const std::function<void(std::size_t)>& passed = {});

} // namespace kestrova::cli
