#include "io/wholefile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova::io {

namespace {

// A new file gets a free name after at most this many tries; more means something is wrong.
constexpr int kMaxNameAttempts = 100;
// Room for the file's own name in a pending name: ".kestrova-", it, "." and 10 letters.
constexpr std::size_t kPendingNameRoom = 200;
// A pending file untouched this long is no save under way.
constexpr std::time_t kLeftoverAgeSeconds = 60;

// The new file of a replacement: removed again unless it took the place of the target.
class PendingFile
{
public:
    PendingFile() = default;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }

    void set(std::string path) { m_path = std::move(path); }
    const std::string& path() const { return m_path; }
    void release() { m_path.clear(); }

private:
    std::string m_path;
};

// The start of the names of the new files made beside file: hidden, so that a file browser
// showing the folder meanwhile does not offer it, and naming the file, so that the leftover of
// an interrupted save is known as its file's. The file's part is cut to keep within NAME_MAX.
std::string pendingPrefix(const std::string& file)
{
    std::string base = file.substr(file.rfind('/') + 1);
    if (base.size() > kPendingNameRoom)
        base.resize(kPendingNameRoom);
    return ".kestrova-" + base + ".";
}

std::string pendingName(const std::string& folder, const std::string& prefix,
                        std::random_device& random)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string name = prefix;
    for (int i = 0; i < 10; ++i)
        name += kLetters[pick(random)];
    return joinPath(folder, name);
}

// Removes what interrupted saves of the file left in folder: the user's own regular files of
// its pending names, untouched for a while (a save under way in another copy is younger).
void removeLeftovers(const std::string& folder, const std::string& prefix)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return; // nothing can be cleaned; the save itself tells what is wrong
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(prefix) || name.size() != prefix.size() + 10)
            continue;
        const std::string path = joinPath(folder, std::string(name));
        struct stat st
        {
        };
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        if (now - st.st_mtime >= kLeftoverAgeSeconds)
            (void)::unlink(path.c_str());
    }
    ::closedir(dir);
}

// Writes bytes over file itself, keeping its inode and so its other names, once a copy of its
// old content is synced in backupFolder. The copy goes when the write is done.
Result<Done> writeInPlace(const std::string& path, const std::string& file, std::string_view bytes,
                          const std::string& backupFolder)
{
    auto old = readWholeFile(file);
    if (!old)
        return old.error();
    std::string backup = joinPath(backupFolder, "saved-" + file.substr(file.rfind('/') + 1));
    if (backup.size() > 200)
        backup.resize(200);
    backup += ".XXXXXX";
    const int backupFd = ::mkstemp(backup.data());
    if (backupFd < 0)
        return systemError(IoErrorKind::NotWritable, path, errno,
                           "cannot keep a copy of the old content in " + backupFolder + ": ");
    {
        FileDescriptor copy(backupFd);
        if (!writeAll(copy.get(), old->value_or(std::string())) || ::fsync(copy.get()) != 0 ||
            !copy.close()) {
            const int error = errno;
            (void)::unlink(backup.c_str());
            return systemError(IoErrorKind::NotWritable, path, error,
                               "cannot keep a copy of the old content in " + backupFolder + ": ");
        }
    }
    FileDescriptor out(::open(file.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
    if (!out || !writeAll(out.get(), bytes) || ::fsync(out.get()) != 0 || !out.close())
        return systemError(IoErrorKind::NotWritable, path, errno,
                           "the old content is kept in " + backup + "; cannot write: ");
    (void)::unlink(backup.c_str());
    return Done{};
}

IoError tooLarge(const std::string& path, std::size_t maxSize)
{
    return IoError{IoErrorKind::TooLarge, path,
                   "it holds more than " + std::to_string(maxSize) + " bytes"};
}

} // namespace

FileDescriptor::~FileDescriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileDescriptor::close()
{
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
}

IoError systemError(IoErrorKind kind, const std::string& path, int error, const std::string& doing)
{
    return IoError{kind, path, doing + std::strerror(error)};
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC; // no progress and no reason: the disk took nothing more
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

Result<std::string> followLinks(const std::string& path)
{
    std::string file = path;
    for (int hop = 0;; ++hop) {
        struct stat st
        {
        };
        if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return file;
        if (hop == kMaxLinkHops)
            return IoError{IoErrorKind::NotWritable, path,
                           "it is a chain of too many symbolic links"};
        // The size lstat gives may be 0 (some file systems) or stale: grow until the whole link
        // text fits with room to spare, so a cut-off text is never taken for the target.
        std::string link(std::max<std::size_t>(static_cast<std::size_t>(st.st_size) + 1, 256),
                         '\0');
        ssize_t n = 0;
        while ((n = ::readlink(file.c_str(), link.data(), link.size())) >= 0 &&
               static_cast<std::size_t>(n) == link.size())
            link.resize(link.size() * 2);
        if (n < 0)
            return systemError(IoErrorKind::NotWritable, path, errno, "cannot follow the link: ");
        link.resize(static_cast<std::size_t>(n));
        file = link.starts_with('/') ? link : joinPath(folderOf(file), link);
    }
}

Result<std::optional<std::string>> readWholeFile(const std::string& path, std::size_t maxSize)
{
    // O_NONBLOCK: opening a named pipe must not wait for a writer; it is refused below.
    FileDescriptor in(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!in) {
        const int error = errno;
        if (error != ENOENT && error != ENOTDIR)
            return systemError(IoErrorKind::NotReadable, path, error);
        struct stat link
        {
        };
        if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            return IoError{IoErrorKind::NotFound, path,
                           "it is a link to a file that does not exist"};
        return std::optional<std::string>{};
    }
    struct stat st
    {
    };
    if (::fstat(in.get(), &st) != 0)
        return systemError(IoErrorKind::NotReadable, path, errno);
    if (S_ISDIR(st.st_mode))
        return IoError{IoErrorKind::NotAFile, path, "it is a folder"};
    if (!S_ISREG(st.st_mode))
        return IoError{IoErrorKind::NotAFile, path, "it is not a regular file"};
    const auto length = static_cast<std::size_t>(st.st_size);
    if (length > maxSize)
        return tooLarge(path, maxSize);

    // Reading one byte more than maxSize shows a file that grew past it meanwhile.
    const std::size_t cap =
        maxSize == std::numeric_limits<std::size_t>::max() ? maxSize : maxSize + 1;
    std::string bytes;
    try {
        // One byte more than the length, so that reaching the end needs no second buffer.
        bytes.resize(std::min(length + 1, cap));
        std::size_t used = 0;
        for (;;) {
            if (used == bytes.size()) {
                if (used >= cap)
                    return tooLarge(path, maxSize);
                bytes.resize(std::min(bytes.size() * 2, cap));
            }
            const ssize_t n = ::read(in.get(), bytes.data() + used, bytes.size() - used);
            if (n == 0)
                break;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return systemError(IoErrorKind::NotReadable, path, errno);
            }
            used += static_cast<std::size_t>(n);
        }
        bytes.resize(used);
    } catch (const std::bad_alloc&) {
        return IoError{IoErrorKind::TooLarge, path,
                       "it is too large to read (" + std::to_string(st.st_size) + " bytes)"};
    }
    // What was read may be a mix of the old and new text of a file replaced meanwhile.
    if (::fstat(in.get(), &st) == 0 && st.st_nlink == 0)
        return IoError{IoErrorKind::NotReadable, path, "it was deleted or replaced while read"};
    return std::optional<std::string>(std::move(bytes));
}

Result<Done> replaceWholeFile(const std::string& path, std::string_view bytes,
                              ReplaceOptions options)
{
    std::string file = path;
    if (options.link == LinkAtPath::Follow) {
        auto followed = followLinks(path);
        if (!followed)
            return followed.error();
        file = std::move(*followed);
    }

    struct stat old
    {
    };
    bool replacing = false;
    if (::lstat(file.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode))
            return IoError{IoErrorKind::NotAFile, path, "it is a folder"};
        if (!S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode))
            return IoError{IoErrorKind::NotAFile, path, "it is not a regular file"};
        replacing = S_ISREG(old.st_mode); // a link that is not followed is only replaced
    }
    // Any other failure to look the file up shows again, better told, when the new file is
    // made in its folder.

    const std::string folder = folderOf(file);
    const std::string prefix = pendingPrefix(file);
    removeLeftovers(folder, prefix);
    if (replacing && !options.backupFolder.empty() &&
        (old.st_nlink > 1 ||
         (::access(folder.c_str(), W_OK) != 0 && ::access(file.c_str(), W_OK) == 0)))
        return writeInPlace(path, file, bytes, options.backupFolder);

    // A new file of the user's gets the usual permissions (the umask applies); a private file
    // and a replacement start private, the replacement then takes the old file's bits.
    const mode_t createMode = options.privateFile || replacing ? 0600 : 0666;
    std::random_device random;
    PendingFile pending;
    int fd = -1;
    for (int attempt = 0; attempt < kMaxNameAttempts && fd < 0; ++attempt) {
        pending.set(pendingName(folder, prefix, random));
        fd = ::open(pending.path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    createMode);
        if (fd < 0) {
            const int error = errno;
            pending.release(); // not ours: someone else's file, or nothing was made
            if (error != EEXIST)
                return systemError(IoErrorKind::NotWritable, path, error,
                                   "cannot make a new file in " + folder + ": ");
        }
    }
    FileDescriptor out(fd);
    if (!out)
        return IoError{IoErrorKind::NotWritable, path,
                       "cannot find a free name for a new file in " + folder};

    if (!writeAll(out.get(), bytes))
        return systemError(IoErrorKind::NotWritable, path, errno, "cannot write: ");
    if (replacing) {
        // As root, give the file back to its owner. Anyone else may keep the group only,
        // or nothing: a refusal leaves the file theirs, as after any editor's save.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            [[maybe_unused]] const int refused = ::fchown(out.get(), old.st_uid, old.st_gid);
        }
    }
    if (options.privateFile || replacing) {
        // The umask may have taken bits from the new file; set them whole.
        const mode_t mode = options.privateFile ? 0600 : old.st_mode & 0777;
        if (::fchmod(out.get(), mode) != 0)
            return systemError(IoErrorKind::NotWritable, path, errno,
                               "cannot set the permissions: ");
    }
    // Without this a crash just after the rename can leave an empty file in place of both.
    if (::fsync(out.get()) != 0 || !out.close())
        return systemError(IoErrorKind::NotWritable, path, errno, "cannot write: ");
    if (::rename(pending.path().c_str(), file.c_str()) != 0)
        return systemError(IoErrorKind::NotWritable, path, errno, "cannot replace the file: ");
    pending.release();

    // Makes the rename itself durable. The new file is in place either way, so a folder that
    // cannot be synced is no failure of the write.
    if (FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir)
        (void)::fsync(dir.get());
    return Done{};
}

bool isReadOnlyFile(const std::string& path)
{
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

} // namespace kestrova::io
