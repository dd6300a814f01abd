// kestrova-cli: the text engine as a filter for pipelines and editors.
#include "filter.h"
#include "options.h"
#include "version.h"

#include "stream/input.h"
#include "stream/pipeline.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace kestrova;
using stream::kExitBadInput;
using stream::kExitDone;
using stream::kExitWriteFailed;

int fail(const std::string& message)
{
    std::fprintf(stderr, "kestrova-cli: %s\n", message.c_str());
    return kExitBadInput;
}

int writeOutput(std::string_view bytes)
{
    if (stream::writeStandardOutput(bytes))
        return kExitDone;
    std::fprintf(stderr, "kestrova-cli: cannot write the output: %s\n", std::strerror(errno));
    return kExitWriteFailed;
}

int run(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const cli::ParseResult parsed = cli::parseOptions(args);
    if (!parsed.error.empty())
        return fail(parsed.error);
    const cli::Options& o = parsed.options;
    if (o.command == cli::Command::Help)
        return writeOutput(cli::usageText());
    if (o.command == cli::Command::Version) {
        const std::string text = std::string("kestrova-cli ") + kFileVersion + " (" + kProductName +
                                 ")\n" + kCopyright + "\n";
        return writeOutput(text);
    }

    return cli::runFilter(o);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    // The buffers are gone by now, but the message still needs no memory of its own. The output
    // is held until the end, so nothing has been written.
    std::fputs("kestrova-cli: the input is too large for the memory available\n", stderr);
    return kExitBadInput;
}
