#include "pgp/workfolder.h"

#include "io/files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova::pgp {

namespace {

io::Result<io::Done> checkOpened(const io::FileDescriptor& fd, const std::string& path)
{
    struct stat st
    {
    };
    if (!fd || ::fstat(fd.get(), &st) != 0)
        return io::systemError(io::IoErrorKind::NotWritable, path, errno);
    if (st.st_uid != ::geteuid() || (st.st_mode & 0077) != 0)
        return io::IoError{io::IoErrorKind::NotWritable, path, "it is not this user's alone"};
    return io::Done{};
}

} // namespace

WorkFolder::WorkFolder(std::string path)
    : m_path(path.ends_with('/') ? std::move(path) : std::move(path) + "/")
    , m_fd(::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))
    , m_opened(checkOpened(m_fd, m_path))
{
}

io::Result<io::Done> WorkFolder::write(const std::string& name, std::string_view bytes) const
{
    if (auto wiped = wipe(name); !wiped)
        return wiped;
    const std::string shown = m_path + name;
    io::FileDescriptor out(::openat(m_fd.get(), name.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out)
        return io::systemError(io::IoErrorKind::NotWritable, shown, errno, "cannot create: ");
    if (!io::writeAll(out.get(), bytes) || ::fsync(out.get()) != 0 || !out.close()) {
        const int error = errno;
        (void)wipe(name);
        return io::systemError(io::IoErrorKind::NotWritable, shown, error, "cannot write: ");
    }
    return io::Done{};
}

io::Result<std::optional<std::string>> WorkFolder::read(const std::string& name) const
{
    const std::string shown = m_path + name;
    io::FileDescriptor in(
        ::openat(m_fd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in) {
        if (errno == ENOENT)
            return std::optional<std::string>{}; // the program wrote none
        return io::systemError(io::IoErrorKind::NotReadable, shown, errno);
    }
    struct stat st
    {
    };
    if (::fstat(in.get(), &st) != 0)
        return io::systemError(io::IoErrorKind::NotReadable, shown, errno);
    if (!S_ISREG(st.st_mode))
        return io::IoError{io::IoErrorKind::NotAFile, shown, "it is not a regular file"};
    // The file opened here, without a link and relative to the folder, is read again through
    // its own descriptor's name: /proc/self/fd names exactly this file, whatever its path.
    auto bytes = io::readWholeFile("/proc/self/fd/" + std::to_string(in.get()));
    if (!bytes)
        return io::IoError{bytes.error().kind, shown, bytes.error().reason};
    if (!*bytes)
        return io::IoError{io::IoErrorKind::NotReadable, shown, "/proc/self/fd is not there"};
    return std::move(*bytes);
}

io::Result<io::Done> WorkFolder::wipe(const std::string& name) const
{
    return io::WipeFile(m_fd.get(), name, io::WipeMode::ZeroThenDelete);
}

bool WorkFolder::lock() const { return ::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0; }

io::Result<io::Done> WorkFolder::stillAtItsPath() const
{
    struct stat held
    {
    };
    struct stat named
    {
    };
    // Without its final "/", or a link in its place would be followed.
    std::string name = m_path;
    while (name.size() > 1 && name.ends_with('/'))
        name.pop_back();
    if (::fstat(m_fd.get(), &held) != 0 || ::lstat(name.c_str(), &named) != 0 ||
        held.st_dev != named.st_dev || held.st_ino != named.st_ino)
        return io::IoError{io::IoErrorKind::NotWritable, m_path,
                           "the folder was moved or replaced while the command was prepared"};
    return io::Done{};
}

} // namespace kestrova::pgp
