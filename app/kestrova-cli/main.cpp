// kestrova-cli: the text engine as a filter for pipelines and editors.
#include "options.h"
#include "pipeline.h"
#include "version.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace kestrova;
using cli::kExitBadInput;
using cli::kExitDone;
using cli::kExitWriteFailed;

int fail(const std::string& message)
{
    std::fprintf(stderr, "kestrova-cli: %s\n", message.c_str());
    return kExitBadInput;
}

// The input in memory: a regular file mapped as it is (no copy, and the pages already used can
// be given back as the work goes on), anything else read in blocks into one buffer that grows
// in place.
class Input
{
public:
    Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input()
    {
        if (m_mapped)
            munmap(m_mapped, m_size);
        std::free(m_buffer);
    }

    std::string_view bytes() const
    {
        return {m_mapped ? static_cast<const char*>(m_mapped) : m_buffer, m_size};
    }

    // A pass over the input is done with its first upTo bytes: a mapped file's pages among
    // them are let go. A position behind the last one begins a new pass from the start.
    void consumed(std::size_t upTo)
    {
        static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t end = std::min(upTo, m_size) / page * page;
        if (upTo < m_released)
            m_released = 0;
        if (!m_mapped || end <= m_released)
            return;
        madvise(static_cast<char*>(m_mapped) + m_released, end - m_released, MADV_DONTNEED);
        m_released = end;
    }

    bool read(const std::string& file, std::string& error)
    {
        int fd = STDIN_FILENO;
        const std::string name = "'" + (file == "-" ? std::string("standard input") : file) + "'";
        if (file != "-") {
            fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                error = "cannot read " + name + ": " + std::strerror(errno);
                return false;
            }
        }
        const bool ok = readFrom(fd, name, error);
        if (fd != STDIN_FILENO)
            close(fd);
        return ok;
    }

private:
    bool readFrom(int fd, const std::string& name, std::string& error)
    {
        struct stat st
        {
        };
        if (fstat(fd, &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                error = "cannot read " + name + ": it is a folder";
                return false;
            }
            if (S_ISREG(st.st_mode) && st.st_size > 0) {
                const auto size = static_cast<std::size_t>(st.st_size);
                void* p = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
                if (p != MAP_FAILED) {
                    madvise(p, size, MADV_SEQUENTIAL);
                    m_mapped = p;
                    m_size = size;
                    return true;
                }
            }
        }
        std::size_t capacity = 0;
        for (;;) {
            if (m_size == capacity) {
                // Blocks this large come from mmap, and realloc moves them with mremap: the
                // bytes read so far are never copied.
                capacity = std::max<std::size_t>(2 * capacity, 1 << 20);
                auto* grown = static_cast<char*>(std::realloc(m_buffer, capacity));
                if (!grown)
                    throw std::bad_alloc();
                m_buffer = grown;
            }
            const ssize_t n = ::read(fd, m_buffer + m_size, capacity - m_size);
            if (n == 0)
                return true;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                error = "cannot read " + name + ": " + std::strerror(errno);
                return false;
            }
            m_size += static_cast<std::size_t>(n);
        }
    }

    void* m_mapped = nullptr;
    char* m_buffer = nullptr;
    std::size_t m_size = 0;
    std::size_t m_released = 0;
};

// Standard output, written piece by piece.
class StandardOutput : public cli::Output
{
public:
    bool write(std::string_view bytes) override
    {
        while (!bytes.empty()) {
            const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                m_failure = std::string("cannot write the output: ") + std::strerror(errno);
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    std::string failure() const override { return m_failure; }

private:
    std::string m_failure;
};

int writeOutput(std::string_view bytes)
{
    StandardOutput out;
    if (out.write(bytes))
        return kExitDone;
    std::fprintf(stderr, "kestrova-cli: %s\n", out.failure().c_str());
    return kExitWriteFailed;
}

// A mapped file that shrinks while it is read cannot be read on: say so, not a bare signal.
void onBusError(int)
{
    static const char message[] = "kestrova-cli: the input file shrank while it was read\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, message, sizeof message - 1);
    _exit(kExitBadInput);
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

    std::signal(SIGBUS, onBusError);
    Input input;
    std::string error;
    if (!input.read(o.file, error))
        return fail(error);
    if (o.command == cli::Command::Detect)
        return writeOutput(cli::detectStatus(input.bytes()) + "\n");
    StandardOutput out;
    const cli::RunResult result = cli::runPipeline(o, input.bytes(), out, {},
                                                   [&](std::size_t upTo) { input.consumed(upTo); });
    if (result.exitStatus != kExitDone)
        std::fprintf(stderr, "kestrova-cli: %s\n", result.error.c_str());
    if (o.report && result.resultWord >= 0)
        std::fprintf(stderr, "result=%d\n", result.resultWord);
    return result.exitStatus;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    // The buffers are gone by now, but the message still needs no memory of its own. Memory
    // runs out while reading or in the whole path, before anything is written, unless a single
    // line of a piece-by-piece run is too large for it.
    std::fputs("kestrova-cli: the input is too large for the memory available\n", stderr);
    return kExitBadInput;
}
