#include "filter.h"

#include "stream/input.h"
#include "stream/pipeline.h"
#include "stream/work.h"

#include <csignal>
#include <cstdio>
#include <string>

namespace kestrova::cli {
namespace {

using stream::kExitBadInput;
using stream::kExitDone;
using stream::kExitWriteFailed;

int fail(const std::string& message, int exitStatus = kExitBadInput)
{
    std::fprintf(stderr, "kestrova-cli: %s\n", message.c_str());
    return exitStatus;
}

} // namespace

stream::Task taskOf(const Options& o)
{
    stream::Task task;
    switch (o.command) {
    case Command::Align:
        task.command = stream::Command::Align;
        break;
    case Command::Quote:
        task.command = stream::Command::Quote;
        break;
    case Command::Unquote:
        task.command = stream::Command::Unquote;
        break;
    case Command::Widen:
        task.command = stream::Command::Widen;
        break;
    default:
        task.command = stream::Command::Convert;
        break;
    }
    static_cast<stream::TaskSettings&>(task) = o;
    return task;
}

int runFilter(const Options& o, const std::function<void(std::size_t)>& passed)
{
    // Past a file size limit (ulimit -f) a write fails with EFBIG rather than ending the process:
    // the copy of the input then goes on in memory, and the held output in memory too.
    std::signal(SIGXFSZ, SIG_IGN);
    const stream::Task task = taskOf(o);
    stream::guardStandardDescriptors();
    stream::Input input;
    std::string error;
    if (!input.read(o.file, error))
        return fail(error);
    const auto consumed = [&](std::size_t upTo) {
        input.consumed(upTo);
        if (passed)
            passed(upTo);
    };
    // The passes over a mapped file must read the same bytes: a file written to meanwhile gives
    // no result, whatever the work made of it.
    const auto changed = [&] {
        return fail("cannot read " + stream::inputName(task) +
                    ": the file changed while it was read");
    };
    stream::HeldStandardOutput out;
    stream::RunResult result;
    if (o.command == Command::Detect)
        static_cast<void>(out.write(stream::detectStatus(input.bytes(), consumed) + "\n"));
    else
        result = stream::runPipeline(task, input.bytes(), out, {}, consumed);
    if (input.changed())
        return changed();
    if (result.exitStatus != kExitDone)
        return fail(result.error, result.exitStatus);
    if (!out.release())
        return fail(out.failure(), kExitWriteFailed);
    // The result word belongs to a result: a refusal stays the one line it is.
    if (o.report && result.resultWord >= 0)
        std::fprintf(stderr, "result=%d\n", result.resultWord);
    return kExitDone;
}

} // namespace kestrova::cli
