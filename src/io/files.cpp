#include "io/files.h"

#include "io/paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrova::io {
namespace {

constexpr int kMaxLinkHops = 40; // as the kernel allows when it resolves a path
constexpr std::size_t kZeroBlock = 1 << 16;

class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

    // Closes now: on some file systems only close reports that the data did not arrive.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

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

IoError systemError(IoErrorKind kind, const std::string& path, int error,
                    const std::string& doing = {})
{
    return IoError{kind, path, doing + std::strerror(error)};
}

// The folder a POSIX path names its last entry in.
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

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Every line end to CR LF, a lone CR and a lone LF included, and one final end-of-file mark
// (0x1A) dropped: what the Japanese code writer always made of a text.
std::u16string withCrLf(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += u"\r\n";
        } else {
            out.push_back(text[i]);
        }
    }
    if (!out.empty() && out.back() == u'\x1A')
        out.pop_back();
    return out;
}

Result<std::string> encodeForFile(std::u16string_view text, int mode, TextFormat format)
{
    std::u16string lines = withCrLf(text);
    if (format.lfOnly)
        lines = crLfToLf(lines);
    OutputCode code = OutputCode::Sjis;
    if (format.utf8)
        code = OutputCode::Utf8;
    else if (mode == 1)
        code = OutputCode::Jis;
    else if (mode == 2)
        code = OutputCode::Euc;
    return encodeText(lines, code, true); // the line ends are already the ones to write
}

// The file a chain of links ends at (the path itself when it is no link). The file need not
// exist: a link to a file yet to be made makes it there.
Result<std::string> followLinks(const std::string& path)
{
    std::string file = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st
        {
        };
        if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return file;
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
    return IoError{IoErrorKind::NotWritable, path, "it is a chain of too many symbolic links"};
}

// A name for the new file beside the one it will replace; hidden, so that a file browser
// showing the folder meanwhile does not offer it.
std::string pendingName(const std::string& folder, std::random_device& random)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string name = ".kestrova-";
    for (int i = 0; i < 10; ++i)
        name += kLetters[pick(random)];
    return joinPath(folder, name);
}

// Writes bytes to file through a new file in its folder that then takes its place, so that
// the old file stays whole until the new one is complete.
Result<std::string> replaceFile(const std::string& target, const std::string& bytes, bool workFile)
{
    std::string file = target;
    if (!workFile) {
        auto followed = followLinks(target);
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
            return IoError{IoErrorKind::NotAFile, target, "it is a folder"};
        if (!S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode))
            return IoError{IoErrorKind::NotAFile, target, "it is not a regular file"};
        replacing = S_ISREG(old.st_mode); // a link in a work file's place is only replaced
    }
    // Any other failure to look the file up shows again, better told, when the new file is
    // made in its folder.

    const std::string folder = folderOf(file);
    // A new file of the user's gets the usual permissions (the umask applies); a work file and
    // a replacement start private, the replacement then takes the old file's bits.
    const mode_t createMode = workFile || replacing ? 0600 : 0666;
    std::random_device random;
    PendingFile pending;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        pending.set(pendingName(folder, random));
        fd = ::open(pending.path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    createMode);
        if (fd < 0) {
            const int error = errno;
            pending.release(); // not ours: someone else's file, or nothing was made
            if (error != EEXIST)
                return systemError(IoErrorKind::NotWritable, target, error,
                                   "cannot make a new file in " + folder + ": ");
        }
    }
    Descriptor out(fd);
    if (!out)
        return IoError{IoErrorKind::NotWritable, target,
                       "cannot find a free name for a new file in " + folder};

    if (!writeAll(out.get(), bytes.data(), bytes.size()))
        return systemError(IoErrorKind::NotWritable, target, errno, "cannot write: ");
    if (!workFile && replacing) {
        // As root, give the file back to its owner. Anyone else may keep the group only,
        // or nothing; the file is then theirs, as after any editor's save.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)::fchown(out.get(), old.st_uid, old.st_gid);
        if (::fchmod(out.get(), old.st_mode & 0777) != 0)
            return systemError(IoErrorKind::NotWritable, target, errno,
                               "cannot keep the permissions: ");
    }
    // Without this a crash just after the rename can leave an empty file in place of both.
    if (::fsync(out.get()) != 0 || !out.close())
        return systemError(IoErrorKind::NotWritable, target, errno, "cannot write: ");
    if (::rename(pending.path().c_str(), file.c_str()) != 0)
        return systemError(IoErrorKind::NotWritable, target, errno, "cannot replace the file: ");
    pending.release();
    return target;
}

// Opens folder if it is a real folder of this user that no one else can enter. A folder just
// made is set to 0700 first: the umask may have taken bits from it.
bool claimPrivateFolder(const std::string& folder, bool justMade)
{
    Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st
    {
    };
    if (!fd || ::fstat(fd.get(), &st) != 0 || st.st_uid != ::geteuid())
        return false;
    if (justMade)
        return (st.st_mode & 0777) == 0700 || ::fchmod(fd.get(), 0700) == 0;
    return (st.st_mode & 0077) == 0;
}

struct FolderCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The first fresh folder an earlier call made in base, so that every call of one run (and
// the next run) finds the same folder again; empty when there is none.
std::string findFreshFolder(const std::string& base, const std::string& prefix)
{
    const std::unique_ptr<DIR, FolderCloser> dir(::opendir(base.c_str()));
    if (!dir)
        return {};
    std::vector<std::string> found;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.starts_with(prefix) &&
            claimPrivateFolder(joinPath(base, std::string(name)), false))
            found.emplace_back(name);
    }
    if (found.empty())
        return {};
    return joinPath(base, *std::min_element(found.begin(), found.end()));
}

// The folder named by TMP, else TMPDIR, else /tmp; one that names no folder is passed over.
std::string tempBase()
{
    for (const char* variable : {"TMP", "TMPDIR"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value)
            continue;
        const std::string base = GetShortPath(value);
        struct stat st
        {
        };
        if (!base.empty() && ::stat(base.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return base;
    }
    return GetShortPath("/tmp");
}

Result<Done> overwriteWithZeros(const std::string& path, const struct stat& named)
{
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st
    {
    };
    if (!fd || ::fstat(fd.get(), &st) != 0)
        return systemError(IoErrorKind::NotWritable, path, errno, "cannot overwrite: ");
    if (st.st_dev != named.st_dev || st.st_ino != named.st_ino)
        return IoError{IoErrorKind::NotWritable, path, "it was replaced while being wiped"};
    const std::string zeros(kZeroBlock, '\0');
    for (off_t left = st.st_size; left > 0;) {
        const auto block = static_cast<std::size_t>(std::min<off_t>(left, kZeroBlock));
        if (!writeAll(fd.get(), zeros.data(), block))
            return systemError(IoErrorKind::NotWritable, path, errno, "cannot overwrite: ");
        left -= static_cast<off_t>(block);
    }
    // The zeros must reach the disk before the name goes, or they may never be written.
    if (::fsync(fd.get()) != 0 || !fd.close())
        return systemError(IoErrorKind::NotWritable, path, errno, "cannot overwrite: ");
    return Done{};
}

} // namespace

Result<DecodedText> ReadTextFile(const std::string& path, int convMode)
{
    if (path.empty())
        return DecodedText{};
    // O_NONBLOCK: opening a named pipe must not wait for a writer; it is refused below.
    Descriptor in(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!in) {
        const int error = errno;
        struct stat link
        {
        };
        if ((error == ENOENT || error == ENOTDIR) && ::lstat(path.c_str(), &link) == 0 &&
            S_ISLNK(link.st_mode))
            return IoError{IoErrorKind::NotFound, path,
                           "it is a link to a file that does not exist"};
        // A missing file reads as empty text, as an empty one does.
        if (error == ENOENT || error == ENOTDIR)
            return DecodedText{};
        return systemError(IoErrorKind::NotReadable, path, error);
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

    std::string bytes;
    try {
        // One byte more than the length, so that reaching the end needs no second buffer.
        bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
        std::size_t used = 0;
        for (;;) {
            if (used == bytes.size())
                bytes.resize(bytes.size() * 2);
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

    auto decoded = decodeText(bytes, convMode == 1);
    if (!decoded)
        return IoError{decoded.error().kind, path, decoded.error().reason};
    return decoded;
}

Result<std::string> WriteTextFile(int mode, std::u16string_view text, const std::string& path,
                                  const std::string& folder, const std::string& name,
                                  TextFormat format)
{
    const bool workFile = path.empty();
    std::string target = path;
    if (workFile) {
        if (folder.empty()) {
            auto temp = GetTempDir();
            if (!temp)
                return temp.error();
            target = std::move(*temp);
        } else {
            target = folder.ends_with('/') ? folder : folder + "/";
        }
        target += name.empty() ? std::string(kDefaultTempName) : name;
    }
    // Encoded before anything is touched: a character the code cannot hold leaves the old
    // file as it was.
    auto bytes = encodeForFile(text, mode, format);
    if (!bytes)
        return IoError{bytes.error().kind, target, bytes.error().reason};
    return replaceFile(target, *bytes, workFile);
}

Result<std::string> GetTempDir()
{
    const std::string base = tempBase();
    if (base.empty())
        return IoError{IoErrorKind::NotFound, "/tmp",
                       "there is no temporary folder: TMP, TMPDIR and /tmp name none"};
    const std::string own = "kestrova-" + std::to_string(::geteuid());
    const std::string folder = joinPath(base, own);
    if (::mkdir(folder.c_str(), 0700) == 0) {
        if (claimPrivateFolder(folder, true))
            return folder + "/";
    } else if (errno == EEXIST && claimPrivateFolder(folder, false)) {
        return folder + "/";
    }
    // The name is someone else's, a link, a file, or open to others: files made in it could
    // be read or planted by another user. Use a fresh folder beside it instead.
    const std::string prefix = own + "-";
    if (std::string fresh = findFreshFolder(base, prefix); !fresh.empty())
        return fresh + "/";
    std::string pattern = joinPath(base, prefix + "XXXXXX");
    if (!::mkdtemp(pattern.data()))
        return systemError(IoErrorKind::NotWritable, joinPath(base, own), errno,
                           "cannot make a temporary folder: ");
    if (!claimPrivateFolder(pattern, true))
        return IoError{IoErrorKind::NotWritable, pattern, "cannot make it private"};
    return pattern + "/";
}

Result<Done> WipeFile(const std::string& path, int mode)
{
    if (path.empty())
        return Done{};
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Done{}; // nothing there to delete
        return systemError(IoErrorKind::NotWritable, path, errno, "cannot delete: ");
    }
    // A file with other names lives on under them: zeroing it would destroy their text, and
    // hide nothing.
    std::optional<IoError> zeroFailed;
    if (mode == 1 && S_ISREG(st.st_mode) && st.st_nlink == 1) {
        auto zeroed = overwriteWithZeros(path, st);
        if (!zeroed)
            zeroFailed = zeroed.error();
    }
    // Deleted even when the zeros could not be written: a file gone is closer to wiped than a
    // file still there.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return systemError(IoErrorKind::NotWritable, path, errno, "cannot delete: ");
    if (zeroFailed)
        return *zeroFailed;
    return Done{};
}

} // namespace kestrova::io
