// kestrova-cli: the text engine as a filter for pipelines and editors.
#include "options.h"
#include "pipeline.h"
#include "version.h"

#include "io/wholefile.h"

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

// A mapped file that shrinks while it is read cannot be read on: say so, not a bare signal.
void onInputShrank(int)
{
    static const char message[] = "kestrova-cli: the input file shrank while it was read\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, message, sizeof message - 1);
    _exit(kExitBadInput);
}

// Nothing else can shorten the unnamed copy of the input: a fault there is the disk's.
void onCopyUnreadable(int)
{
    static const char message[] = "kestrova-cli: the temporary copy of the input cannot be read\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, message, sizeof message - 1);
    _exit(kExitBadInput);
}

// A file in $TMPDIR (or /tmp when that is unset or unusable) that has no name, so it is gone on
// every way out of the process, a crash included. A file system without O_TMPFILE gets a named
// file, unlinked at once. -1 when no folder takes one.
int openTemporaryFile()
{
    const char* tmpdir = std::getenv("TMPDIR");
    for (std::string folder : {std::string(tmpdir ? tmpdir : ""), std::string("/tmp")}) {
        if (folder.empty())
            continue;
        int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            return fd;
        std::string path = folder + "/kestrova-cli-XXXXXX";
        fd = mkostemp(path.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::unlink(path.c_str());
            return fd;
        }
    }
    return -1;
}

// The input in memory. A regular file is mapped as it is: no copy, and the pages already used
// can be given back as the work goes on. Anything else (a pipe, a terminal, a /proc file whose
// size reads 0) is first copied block by block to an unnamed temporary file, mapped alike, so
// that its size costs disk space rather than memory. Where no such file can be made or filled,
// the rest is read into one buffer that grows in place, after what was copied so far.
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
    // The copy is written from the one buffer a block at a time: the buffer stays this large.
    static constexpr std::size_t kBlockBytes = 1 << 20;

    bool readFrom(int fd, const std::string& name, std::string& error)
    {
        struct stat st
        {
        };
        const bool known = fstat(fd, &st) == 0;
        if (known && S_ISDIR(st.st_mode)) {
            error = "cannot read " + name + ": it is a folder";
            return false;
        }
        const bool regular = known && S_ISREG(st.st_mode) && st.st_size > 0;
        if (regular && map(fd, static_cast<std::size_t>(st.st_size), onInputShrank))
            return true;
        // A regular file that cannot be mapped would not map any better as a copy.
        io::FileDescriptor copy(regular ? -1 : openTemporaryFile());
        std::size_t copied = 0; // bytes in the copy; m_buffer holds those read after them
        for (bool ended = false; !ended;) {
            if (m_size == m_capacity)
                grow(m_size + 1);
            const ssize_t n = ::read(fd, m_buffer + m_size, m_capacity - m_size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = "cannot read " + name + ": " + std::strerror(errno);
                return false;
            }
            m_size += static_cast<std::size_t>(n);
            ended = n == 0;
            if (!copy || (m_size < m_capacity && !ended))
                continue;
            if (io::writeAll(copy.get(), {m_buffer, m_size})) {
                copied += m_size;
                m_size = 0;
                continue;
            }
            // Full disk, a quota, a file size limit: the reading goes on in memory.
            if (!takeBack(copy, copied, error))
                return false;
        }
        if (!copy || copied == 0)
            return true;
        return map(copy.get(), copied, onCopyUnreadable) || takeBack(copy, copied, error);
    }

    bool map(int fd, std::size_t size, void (*onBusError)(int))
    {
        void* p = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED)
            return false;
        std::signal(SIGBUS, onBusError);
        madvise(p, size, MADV_SEQUENTIAL);
        m_mapped = p;
        m_size = size;
        std::free(m_buffer); // the block the copy was written from
        m_buffer = nullptr;
        m_capacity = 0;
        return true;
    }

    // Room for at least size bytes. Blocks this large come from mmap, and realloc moves them
    // with mremap: the bytes read so far are never copied.
    void grow(std::size_t size)
    {
        const std::size_t capacity = std::max({size, 2 * m_capacity, kBlockBytes});
        auto* grown = static_cast<char*>(std::realloc(m_buffer, capacity));
        if (!grown)
            throw std::bad_alloc();
        m_buffer = grown;
        m_capacity = capacity;
    }

    // The copy cannot go on: its bytes move into memory, ahead of the bytes of m_buffer it does
    // not hold, and it is closed. It held copied bytes before m_buffer was written out, and
    // that write may have stopped part way: the copy's length says how far.
    bool takeBack(io::FileDescriptor& copy, std::size_t copied, std::string& error)
    {
        const off_t end = lseek(copy.get(), 0, SEEK_CUR);
        const auto held = static_cast<std::size_t>(std::max<off_t>(end, 0));
        if (held < copied || held - copied > m_size) {
            error = "cannot read the temporary copy of the input: its length is wrong";
            return false;
        }
        const std::size_t pending = m_size - (held - copied);
        if (held + pending > m_capacity)
            grow(held + pending);
        std::memmove(m_buffer + held, m_buffer + (held - copied), pending);
        for (std::size_t at = 0; at < held;) {
            const ssize_t n = pread(copy.get(), m_buffer + at, held - at, static_cast<off_t>(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = std::string("cannot read the temporary copy of the input: ") +
                        std::strerror(n < 0 ? errno : EIO);
                return false;
            }
            at += static_cast<std::size_t>(n);
        }
        m_size = held + pending;
        (void)copy.close(); // only read from here on: nothing for close to report
        return true;
    }

    void* m_mapped = nullptr;
    char* m_buffer = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
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

    // Past a file size limit (ulimit -f) a write fails with EFBIG rather than ending the process:
    // the copy of the input then goes on in memory, and output gets its message.
    std::signal(SIGXFSZ, SIG_IGN);
    Input input;
    std::string error;
    if (!input.read(o.file, error))
        return fail(error);
    if (o.command == cli::Command::Detect)
        return writeOutput(
            cli::detectStatus(input.bytes(), [&](std::size_t upTo) { input.consumed(upTo); }) +
            "\n");
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
