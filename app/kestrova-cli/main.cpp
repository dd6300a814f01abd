// kestrova-cli: the text engine as a filter for pipelines and editors.
#include "engine/hantozen.h"
#include "engine/quote.h"
#include "engine/reflow.h"
#include "io/jis2sjis.h"
#include "io/textcodec.h"
#include "options.h"
#include "version.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace kestrova;

constexpr int kExitDone = 0;
constexpr int kExitWriteFailed = 1;
constexpr int kExitBadInput = 2;

int fail(const std::string& message)
{
    std::fprintf(stderr, "kestrova-cli: %s\n", message.c_str());
    return kExitBadInput;
}

// Reads all of FILE or standard input; an error message on failure.
bool readInput(const std::string& file, std::string& bytes, std::string& error)
{
    int fd = STDIN_FILENO;
    if (file != "-") {
        fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = "cannot read '" + file + "': " + std::strerror(errno);
            return false;
        }
        struct stat st{};
        if (fstat(fd, &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                close(fd);
                error = "cannot read '" + file + "': it is a folder";
                return false;
            }
            if (S_ISREG(st.st_mode) && st.st_size > 0)
                bytes.reserve(static_cast<std::size_t>(st.st_size));
        }
    }
    std::vector<char> chunk(1 << 16);
    for (;;) {
        const ssize_t n = read(fd, chunk.data(), chunk.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = "cannot read '" + (file == "-" ? std::string("standard input") : file) +
                    "': " + std::strerror(errno);
            if (fd != STDIN_FILENO)
                close(fd);
            return false;
        }
        bytes.append(chunk.data(), static_cast<std::size_t>(n));
    }
    if (fd != STDIN_FILENO)
        close(fd);
    return true;
}

int writeOutput(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "kestrova-cli: cannot write the output: %s\n",
                         std::strerror(errno));
            return kExitWriteFailed;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return kExitDone;
}

int runTextCommand(const cli::Options& o, std::string&& bytes)
{
    auto decoded = io::decodeText(bytes, true);
    if (!decoded)
        return fail("cannot read '" + (o.file == "-" ? std::string("standard input") : o.file) +
                    "': " + decoded.error().reason);
    std::string().swap(bytes);
    std::u16string text = std::move(decoded->text);

    std::u16string result;
    switch (o.command) {
    case cli::Command::Align: {
        engine::ReflowState state;
        result = engine::TextUpdate(text, o.settings, state);
        break;
    }
    case cli::Command::Quote:
        result = engine::quoteText(text, o.settings.Inyofu);
        break;
    case cli::Command::Unquote:
        result = engine::unquoteText(text, o.settings.Inyofu);
        break;
    default:
        result = engine::widenKana(text);
        break;
    }
    std::u16string().swap(text);

    auto out = io::encodeText(result, o.outputCode, o.crlf);
    if (!out)
        return fail(out.error().reason);
    return writeOutput(*out);
}

int runConvert(const cli::Options& o, std::string&& bytes)
{
    int result = 0;
    if (!bytes.empty()) {
        io::ByteBuffer buffer(bytes.begin(), bytes.end());
        std::string().swap(bytes);
        result = io::CodeConvert(buffer, o.convertTo);
        bytes.assign(buffer.begin(), buffer.end());
    }
    const int status = writeOutput(bytes);
    if (o.report)
        std::fprintf(stderr, "result=%d\n", result);
    return status;
}

int runDetect(std::string&& bytes)
{
    // The status a file read shows; bytes that are no text still have a detected code.
    std::string status;
    if (auto decoded = io::decodeText(bytes, true)) {
        status = decoded->status;
    } else {
        io::ByteBuffer buffer(bytes.begin(), bytes.end());
        const int result = io::CodeConvert(buffer, io::kTargetSjis);
        if (result & 3)
            status = (result & 1) ? "JIS" : "EUC";
        if (result & 12)
            status += (result & 4) ? ":CR" : ":LF";
    }
    status += '\n';
    return writeOutput(status);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const cli::ParseResult parsed = cli::parseOptions(args);
    if (!parsed.error.empty())
        return fail(parsed.error);
    const cli::Options& o = parsed.options;
    if (o.command == cli::Command::Help)
        return writeOutput(cli::usageText());
    if (o.command == cli::Command::Version) {
        const std::string text = std::string("kestrova-cli ") + kFileVersion + " (" +
                                 kProductName + ")\n" + kCopyright + "\n";
        return writeOutput(text);
    }

    std::string bytes;
    std::string error;
    if (!readInput(o.file, bytes, error))
        return fail(error);
    switch (o.command) {
    case cli::Command::Convert:
        return runConvert(o, std::move(bytes));
    case cli::Command::Detect:
        return runDetect(std::move(bytes));
    default:
        return runTextCommand(o, std::move(bytes));
    }
}
