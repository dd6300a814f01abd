// kestrova-cli: the text engine as a filter for pipelines and editors.
#include "options.h"
#include "version.h"

#include "engine/hantozen.h"
#include "engine/quote.h"
#include "engine/reflow.h"
#include "io/jis2sjis.h"
#include "io/textcodec.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <new>
#include <stdexcept>
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
bool readInput(const std::string& file, io::ByteBuffer& bytes, std::string& error)
{
    int fd = STDIN_FILENO;
    if (file != "-") {
        fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = "cannot read '" + file + "': " + std::strerror(errno);
            return false;
        }
        struct stat st
        {
        };
        if (fstat(fd, &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                close(fd);
                error = "cannot read '" + file + "': it is a folder";
                return false;
            }
            // One byte more than the file, so that reading its end needs no second buffer.
            if (S_ISREG(st.st_mode) && st.st_size > 0)
                bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
        }
    }
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size())
            bytes.resize(std::max<std::size_t>(bytes.size() * 2, 1 << 16));
        const ssize_t n = read(fd, bytes.data() + used, bytes.size() - used);
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
        used += static_cast<std::size_t>(n);
    }
    bytes.resize(used);
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

// The text commands work line by line through the input in pieces of about this many bytes,
// so that a large text is never held in more than one decoded form at once.
constexpr std::size_t kPieceBytes = 1 << 18;

// Where the piece that starts at from ends: just after the first CR LF at or beyond from +
// kPieceBytes, or at the end. CR and LF are never part of a two-byte character.
std::size_t pieceEnd(const io::ByteBuffer& bytes, std::size_t from)
{
    std::size_t at = from + kPieceBytes;
    while (at + 1 < bytes.size()) {
        const auto* cr = static_cast<const std::uint8_t*>(
            std::memchr(bytes.data() + at, '\r', bytes.size() - at - 1));
        if (!cr)
            break;
        at = static_cast<std::size_t>(cr - bytes.data());
        if (bytes[at + 1] == '\n')
            return at + 2;
        ++at;
    }
    return bytes.size();
}

// Runs the command over the lines of text; last is set for the input's final piece.
void runLines(const cli::Options& o, engine::ReflowState& state, std::u16string_view text,
              bool last, std::u16string& out)
{
    if (o.command == cli::Command::Widen) {
        out += engine::widenKana(text);
        return;
    }
    std::u16string mark;
    if (o.command == cli::Command::Quote)
        mark = engine::quoteText(u"", o.settings.Inyofu);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(u"\r\n", start);
        if (end == std::u16string_view::npos && !last)
            return; // a piece ends with its CR LF: nothing is left over
        const bool lineEnd = end != std::u16string_view::npos;
        const std::u16string_view line =
            text.substr(start, lineEnd ? end - start : std::u16string_view::npos);
        switch (o.command) {
        case cli::Command::Align:
            engine::reflowLine(line, lineEnd, o.settings, state, out);
            break;
        case cli::Command::Quote:
            // In a text file the final line end ends the last line: the empty piece after it
            // is no line and gets no mark. An empty input is quoted as the window does.
            if (!lineEnd && line.empty() && start > 0)
                return;
            out += mark;
            out += line;
            break;
        default:
            out += engine::unquoteText(line, o.settings.Inyofu);
            break;
        }
        if (!lineEnd)
            return;
        if (o.command != cli::Command::Align)
            out += u"\r\n";
        start = end + 2;
    }
}

int runTextCommand(const cli::Options& o, io::ByteBuffer&& bytes)
{
    const std::string source = o.file == "-" ? std::string("standard input") : "'" + o.file + "'";
    const io::PreparedText prepared = io::prepareText(std::move(bytes), true);
    const std::size_t size = prepared.bytes.size();

    engine::ReflowState state;
    engine::beginReflow(state);
    std::u16string text, result;
    std::string output;
    std::size_t from = prepared.start;
    do {
        const std::size_t to = pieceEnd(prepared.bytes, from);
        text.clear();
        if (auto decoded = io::decodePiece(prepared, from, to, text); !decoded)
            return fail("cannot read " + source + ": " + decoded.error().reason);
        result.clear();
        runLines(o, state, text, to == size, result);
        if (to == size && o.command == cli::Command::Align)
            engine::endReflow(o.settings, state, result);
        auto encoded = io::encodeText(result, o.outputCode, o.crlf);
        if (!encoded) {
            // Count the lines only now, to name the right one.
            const auto line =
                1 + static_cast<std::size_t>(std::count(output.begin(), output.end(), '\n'));
            return fail(io::encodeText(result, o.outputCode, o.crlf, line).error().reason);
        }
        output += *encoded;
        from = to;
    } while (from < size);
    return writeOutput(output);
}

int runConvert(const cli::Options& o, io::ByteBuffer&& bytes)
{
    const int result = bytes.empty() ? 0 : io::CodeConvert(bytes, o.convertTo);
    const int status =
        writeOutput(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (o.report)
        std::fprintf(stderr, "result=%d\n", result);
    return status;
}

int runDetect(io::ByteBuffer&& bytes)
{
    // The status a file read shows; bytes that are no text still have a detected code.
    std::string status;
    if (auto decoded = io::decodeText(io::ByteBuffer(bytes), true)) {
        status = decoded->status;
    } else {
        status = io::codeStatus(io::decodeConvertResult(io::CodeConvert(bytes, io::kTargetSjis)));
    }
    status += '\n';
    return writeOutput(status);
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

    // Large texts pass through a few buffers of their size one after the other: keep freed
    // memory for the next instead of handing it back and faulting fresh pages in.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);

    io::ByteBuffer bytes;
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

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    // The buffers are gone by now, but the message still needs no memory of its own. Nothing
    // has reached standard output: the result is written only once it is complete.
    std::fputs("kestrova-cli: the input is too large for the memory available\n", stderr);
    return kExitBadInput;
}
