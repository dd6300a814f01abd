// Whole files: reading one with a size limit, replacing one atomically, and the POSIX plumbing
// under both (descriptor guard, link following, folder of a path).
//
// Paths are UTF-8 bytes as Linux has them. Used by the text files and the settings file alike.
#pragma once

#include "io/result.h"

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova::io {

// As many links as the kernel follows when it resolves a path.
inline constexpr int kMaxLinkHops = 40;

// Owns a file descriptor: closes it when it goes out of scope.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

    // Closes now: on some file systems only close reports that the data did not arrive.
    [[nodiscard]] bool close();

private:
    int m_fd;
};

// An error of kind for path whose reason is doing followed by the system's message for error.
[[nodiscard]] IoError systemError(IoErrorKind kind, const std::string& path, int error,
                                  const std::string& doing = {});

// The folder a POSIX path names its last entry in: "." for a bare name, "/" for "/name".
[[nodiscard]] std::string folderOf(const std::string& path);

// folder and name with one "/" between them.
[[nodiscard]] std::string joinPath(const std::string& folder, const std::string& name);

// Writes all of bytes to fd, resuming after interruptions; false with errno set on failure.
[[nodiscard]] bool writeAll(int fd, std::string_view bytes);

// The file a chain of symbolic links at path ends at; path itself when it is no link. The file
// need not exist: a link to a file yet to be made names where it will be. More than
// kMaxLinkHops links, or one that cannot be read, is an error naming path.
[[nodiscard]] Result<std::string> followLinks(const std::string& path);

// The bytes of the regular file at path, or nullopt when there is nothing at path (a missing
// file or folder on the way). A link to nothing is a NotFound error; a folder, FIFO or device
// is NotAFile (opening never waits for a writer); a file of more than maxSize bytes is TooLarge;
// a file deleted or replaced while it was read is NotReadable.
[[nodiscard]] Result<std::optional<std::string>>
readWholeFile(const std::string& path,
              std::size_t maxSize = std::numeric_limits<std::size_t>::max());

// What happens to a link at the path replaceWholeFile writes.
enum class LinkAtPath
{
    Follow,  // the file it ends at is replaced; the link stays
    Replace, // the link itself is replaced by the file, never followed
};

struct ReplaceOptions
{
    LinkAtPath link = LinkAtPath::Follow;
    // 0600 whatever the old file's mode or the umask; otherwise a replaced file keeps its mode
    // and owner, and a new one gets 0666 less the umask.
    bool privateFile = false;
    // Not empty: a file with other hard links, or a writable file in a folder that is not, is
    // written in place (a rename would split it from its other names, or is not allowed),
    // once a copy of its old content is safe in this private folder.
    std::string backupFolder;
};

// Writes bytes to path through a new file in the same folder that is synced and then renamed
// over path, and syncs the folder, so that the old file stays whole until the new one is
// complete and a crash leaves one of the two. On failure nothing is left behind and the error
// names path. New files of a save that was interrupted before its rename (".kestrova-" and the
// file's name), the user's own and over a minute old, are removed. With
// options.backupFolder, see there; a failed write in place names the copy of the old content.
[[nodiscard]] Result<Done> replaceWholeFile(const std::string& path, std::string_view bytes,
                                            ReplaceOptions options = {});

// A file nobody may write, or this user may not: replacing it asks the user first.
[[nodiscard]] bool isReadOnlyFile(const std::string& path);

} // namespace kestrova::io
