#include "stream/input.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova::stream {
namespace {

// A mapped file that shrinks while it is read cannot be read on: say so, not a bare signal.
// Nothing has been written yet, since the output is held until the end.
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

std::size_t pageSize()
{
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

// Waits until a non-blocking standard output takes bytes again; false on any other failure.
bool waitForRoom(int error)
{
    if (error != EAGAIN && error != EWOULDBLOCK)
        return false;
    pollfd ready{STDOUT_FILENO, POLLOUT, 0};
    while (::poll(&ready, 1, -1) < 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

int openTemporaryFile()
{
    const char* tmpdir = std::getenv("TMPDIR");
    for (std::string folder : {std::string(tmpdir ? tmpdir : ""), std::string("/tmp")}) {
        if (folder.empty())
            continue;
        int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            return fd;
        // A file system without O_TMPFILE: a named file, unlinked at once.
        std::string path = folder + "/kestrova-cli-XXXXXX";
        fd = mkostemp(path.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::unlink(path.c_str());
            return fd;
        }
    }
    return -1;
}

void guardStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        // A descriptor opened for its path alone fails every read and write with EBADF, as the
        // closed one did; open takes the lowest free number, which is fd.
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            static_cast<void>(::open("/dev/null", O_PATH));
    }
}

Input::~Input()
{
    if (m_mapped)
        munmap(m_mapped, m_mappedSize);
    if (m_watched >= 0)
        ::close(m_watched);
    std::free(m_buffer);
}

void Input::consumed(std::size_t upTo)
{
    // In the mapping's own positions, which start at a page.
    const std::size_t at = std::min(upTo, m_size) + m_skipped;
    const std::size_t end = at / pageSize() * pageSize();
    if (at < m_released)
        m_released = 0;
    if (!m_mapped || end <= m_released)
        return;
    madvise(static_cast<char*>(m_mapped) + m_released, end - m_released, MADV_DONTNEED);
    m_released = end;
}

bool Input::read(const std::string& file, std::string& error)
{
    int fd = STDIN_FILENO;
    const std::string name = file == "-" ? std::string("standard input") : "'" + file + "'";
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

bool Input::changed() const
{
    struct stat now
    {
    };
    if (m_watched < 0)
        return false;
    if (fstat(m_watched, &now) != 0)
        return true;
    return now.st_size != m_fileSize || now.st_mtim.tv_sec != m_modified.tv_sec ||
           now.st_mtim.tv_nsec != m_modified.tv_nsec;
}

bool Input::readFrom(int fd, const std::string& name, std::string& error)
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
    if (regular) {
        // Standard input may have been read in part already (`{ head -n 1; kestrova-cli; }`):
        // the input is what follows, and the next reader finds the position at its end.
        const off_t from =
            fd == STDIN_FILENO ? std::clamp<off_t>(lseek(fd, 0, SEEK_CUR), 0, st.st_size) : 0;
        if (from == st.st_size)
            return true; // nothing left to read
        if (map(fd, from, static_cast<std::size_t>(st.st_size - from), onInputShrank)) {
            if (fd == STDIN_FILENO)
                static_cast<void>(lseek(fd, st.st_size, SEEK_SET));
            m_watched = fcntl(fd, F_DUPFD_CLOEXEC, 0);
            m_modified = st.st_mtim;
            m_fileSize = st.st_size;
            return true;
        }
    }
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
    return map(copy.get(), 0, copied, onCopyUnreadable) || takeBack(copy, copied, error);
}

bool Input::map(int fd, off_t from, std::size_t size, void (*onBusError)(int))
{
    const auto skipped = static_cast<std::size_t>(from) % pageSize();
    void* p = mmap(nullptr, size + skipped, PROT_READ, MAP_PRIVATE, fd, from - off_t(skipped));
    if (p == MAP_FAILED)
        return false;
    std::signal(SIGBUS, onBusError);
    madvise(p, size + skipped, MADV_SEQUENTIAL);
    m_mapped = p;
    m_mappedSize = size + skipped;
    m_skipped = skipped;
    m_size = size;
    std::free(m_buffer); // the block the copy was written from
    m_buffer = nullptr;
    m_capacity = 0;
    return true;
}

// The copy is written from the one buffer a block at a time: the buffer stays this large.
constexpr std::size_t kBlockBytes = 1 << 20;

// Room for at least size bytes. Blocks this large come from mmap, and realloc moves them with
// mremap: the bytes read so far are never copied.
void Input::grow(std::size_t size)
{
    const std::size_t capacity = std::max({size, 2 * m_capacity, kBlockBytes});
    auto* grown = static_cast<char*>(std::realloc(m_buffer, capacity));
    if (!grown)
        throw std::bad_alloc();
    m_buffer = grown;
    m_capacity = capacity;
}

// The copy cannot go on: its bytes move into memory, ahead of the bytes of m_buffer it does not
// hold, and it is closed. It held copied bytes before m_buffer was written out, and that write
// may have stopped part way: the copy's length says how far.
bool Input::takeBack(io::FileDescriptor& copy, std::size_t copied, std::string& error)
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

bool HeldStandardOutput::write(std::string_view bytes)
{
    if (!m_fileFailed && m_heldBytes + bytes.size() >= kMemoryBytes) {
        // What is held goes to the file, and the new bytes after it without a copy in memory.
        if (spillHeld() && spill(bytes))
            return true;
        // A full disk, a quota or a file size limit: the rest is held in memory, behind what
        // the file took whole.
        m_fileFailed = true;
    }
    // In blocks, so that holding more never copies what is held already.
    if (m_held.empty() || m_held.back().size() + bytes.size() > m_held.back().capacity()) {
        m_held.emplace_back();
        m_held.back().reserve(std::max(kMemoryBytes, bytes.size()));
    }
    m_held.back().append(bytes);
    m_heldBytes += bytes.size();
    return true;
}

bool HeldStandardOutput::spillHeld()
{
    std::size_t spilled = 0;
    while (spilled < m_held.size() && spill(m_held[spilled]))
        m_heldBytes -= m_held[spilled++].size();
    m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(spilled));
    return m_held.empty();
}

bool HeldStandardOutput::spill(std::string_view bytes)
{
    if (!m_file)
        m_file = std::make_unique<io::FileDescriptor>(openTemporaryFile());
    if (!*m_file || !io::writeAll(m_file->get(), bytes))
        return false;
    m_fileBytes += bytes.size();
    return true;
}

bool HeldStandardOutput::release()
{
    off_t at = 0;
    while (static_cast<std::size_t>(at) < m_fileBytes) {
        const ssize_t n =
            sendfile(STDOUT_FILENO, m_file->get(), &at, m_fileBytes - static_cast<std::size_t>(at));
        if (n > 0 || (n < 0 && errno == EINTR))
            continue;
        if (n < 0 && waitForRoom(errno))
            continue;
        if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
            // Standard output that takes no sendfile: through memory, a block at a time.
            std::string block(kMemoryBytes, '\0');
            while (static_cast<std::size_t>(at) < m_fileBytes) {
                const ssize_t got =
                    pread(m_file->get(), block.data(),
                          std::min(block.size(), m_fileBytes - static_cast<std::size_t>(at)), at);
                if (got <= 0)
                    return failed(got < 0 ? errno : EIO);
                if (!writeStandardOutput({block.data(), static_cast<std::size_t>(got)}))
                    return failed(errno);
                at += got;
            }
            break;
        }
        return failed(n < 0 ? errno : EIO);
    }
    for (const std::string& block : m_held) {
        if (!writeStandardOutput(block))
            return failed(errno);
    }
    return true;
}

bool HeldStandardOutput::failed(int error)
{
    m_failure = std::string("cannot write the output: ") + std::strerror(error);
    return false;
}

bool writeStandardOutput(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR || waitForRoom(errno))
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace kestrova::stream
