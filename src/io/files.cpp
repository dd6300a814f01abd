#include "io/files.h"

#include "io/paths.h"
#include "io/wholefile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrova::io {
namespace {

constexpr std::size_t kZeroBlock = 1 << 16;

Result<std::string> encodeForFile(std::u16string_view text, int mode, TextFormat format)
{
    // Every line end becomes the one written, and one final end-of-file mark is dropped: what
    // the Japanese code writer always made of a text.
    std::u16string lines = normalizeLineEnds(text, format.lfOnly ? LineEnd::Lf : LineEnd::CrLf);
    if (!lines.empty() && lines.back() == kEndOfFile)
        lines.pop_back();
    OutputCode code = OutputCode::Sjis;
    if (format.utf8)
        code = OutputCode::Utf8;
    else if (mode == kTargetJis)
        code = OutputCode::Jis;
    else if (mode == kTargetEuc)
        code = OutputCode::Euc;
    return encodeText(lines, code, true); // the line ends are already the ones to write
}

// Opens folder if it is a real folder of this user that no one else can enter. A folder just
// made is set to 0700 first: the umask may have taken bits from it.
bool claimPrivateFolder(const std::string& folder, bool justMade)
{
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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

// The folders a temporary folder may be made in, in order: TMP, TMPDIR, /tmp.
std::vector<std::string> tempBases()
{
    std::vector<std::string> bases;
    for (const char* variable : {"TMP", "TMPDIR"})
        if (const char* value = std::getenv(variable); value && *value)
            bases.push_back(value);
    bases.emplace_back("/tmp");
    return bases;
}

// One folder on the way: root's or ours, and others may not rename what is in it, unless the
// sticky bit keeps them to their own entries.
bool stepIsSafe(const struct stat& st)
{
    return S_ISDIR(st.st_mode) && (st.st_uid == 0 || st.st_uid == ::geteuid()) &&
           ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (st.st_mode & S_ISVTX) != 0);
}

Result<Done> overwriteWithZeros(int folder, const std::string& path, const struct stat& named)
{
    FileDescriptor fd(
        ::openat(folder, path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
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
        if (!writeAll(fd.get(), std::string_view(zeros.data(), block)))
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
    auto bytes = readWholeFile(path);
    if (!bytes)
        return bytes.error();
    // A missing file reads as empty text, as an empty one does. Neither, nor a file of ASCII
    // alone, has a code of its own: it is read, and written back, as this platform's UTF-8.
    auto decoded = decodeText(*bytes ? std::string_view(**bytes) : std::string_view(),
                              convMode == 1, PlainAscii::AsUtf8);
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
    // A work file is private and a link in its place is replaced, never followed: the
    // temporary folder's name could be someone else's choice.
    ReplaceOptions options{LinkAtPath::Replace, true, {}};
    if (!workFile) {
        options = ReplaceOptions{LinkAtPath::Follow, false, {}};
        // A file with other names, or in a folder the user may not write, is written in place;
        // its old content waits in the private folder meanwhile.
        if (auto temp = GetTempDir())
            options.backupFolder = std::move(*temp);
    }
    if (auto replaced = replaceWholeFile(target, *bytes, options); !replaced)
        return replaced.error();
    return target;
}

Result<Done> folderIsSafe(const std::string& folder, bool privateToo)
{
    if (!folder.starts_with('/'))
        return IoError{IoErrorKind::NotWritable, folder, "it is not an absolute path"};
    auto check = [](const std::string& path) -> Result<Done> {
        struct stat st
        {
        };
        if (::lstat(path.c_str(), &st) != 0)
            return systemError(IoErrorKind::NotFound, path, errno);
        if (!stepIsSafe(st))
            return IoError{IoErrorKind::NotWritable, path,
                           "another user could rename or replace what is in it"};
        return Done{};
    };
    std::string path = "/";
    if (auto root = check(path); !root)
        return root;
    for (std::size_t start = 1; start < folder.size();) {
        std::size_t slash = folder.find('/', start);
        if (slash == std::string::npos)
            slash = folder.size();
        const std::string step = folder.substr(start, slash - start);
        start = slash + 1;
        if (step.empty())
            continue;
        if (step == "." || step == "..")
            return IoError{IoErrorKind::NotWritable, folder, "it is not a plain path"};
        path += path.ends_with('/') ? step : "/" + step;
        if (auto safe = check(path); !safe)
            return safe;
    }
    if (privateToo) {
        struct stat st
        {
        };
        if (::lstat(folder.c_str(), &st) != 0 || st.st_uid != ::geteuid() ||
            (st.st_mode & 0077) != 0)
            return IoError{IoErrorKind::NotWritable, folder, "it is not this user's own"};
    }
    return Done{};
}

Result<std::string> GetTempDir()
{
    // In memory, this user's alone and emptied at logout: the best place for work files.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        std::string folder = GetShortPath(runtime);
        if (!folder.empty() && folderIsSafe(folder, true))
            return folder.ends_with('/') ? folder : folder + "/";
    }
    std::string base;
    for (const std::string& candidate : tempBases()) {
        const std::string full = GetShortPath(candidate);
        if (!full.empty() && folderIsSafe(full, false)) {
            base = full;
            break;
        }
    }
    if (base.empty())
        return IoError{IoErrorKind::NotWritable, "/tmp",
                       "no temporary folder is safe from other users: TMP, TMPDIR and /tmp "
                       "name none that only root or you can change"};
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

Result<Done> WipeFile(const std::string& path, WipeMode mode)
{
    return WipeFile(AT_FDCWD, path, mode);
}

Result<Done> WipeFile(int folder, const std::string& path, WipeMode mode)
{
    if (path.empty())
        return Done{};
    struct stat st
    {
    };
    if (::fstatat(folder, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Done{}; // nothing there to delete
        return systemError(IoErrorKind::NotWritable, path, errno, "cannot delete: ");
    }
    // A file with other names lives on under them: zeroing it would destroy their text, and
    // hide nothing.
    std::optional<IoError> zeroFailed;
    if (mode == WipeMode::ZeroThenDelete && S_ISREG(st.st_mode) && st.st_nlink == 1) {
        auto zeroed = overwriteWithZeros(folder, path, st);
        if (!zeroed)
            zeroFailed = zeroed.error();
    }
    // Deleted even when the zeros could not be written: a file gone is closer to wiped than a
    // file still there.
    if (::unlinkat(folder, path.c_str(), 0) != 0 && errno != ENOENT)
        return systemError(IoErrorKind::NotWritable, path, errno, "cannot delete: ");
    if (zeroFailed)
        return *zeroFailed;
    return Done{};
}

} // namespace kestrova::io
