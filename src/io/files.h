// Text files, the temporary folder and work files: reading, writing, wiping.
//
// Paths are UTF-8 bytes as Linux has them. Every file is opened, read or written and closed
// within one call.
#pragma once

#include "io/result.h"
#include "io/textcodec.h"

#include <string>
#include <string_view>

namespace kestrova::io {

// The default name of a work file in the temporary folder.
inline constexpr std::string_view kDefaultTempName = "Kestrova.tmp";

// How a file is written back beyond the code mode: a file saved under the name it was read
// from keeps UTF-8 and LF line ends when it had them.
struct TextFormat
{
    bool utf8 = false;   // UTF-8 whatever the mode
    bool lfOnly = false; // line ends are a lone LF instead of CR LF
};

// The format a text read from a file is written back in.
[[nodiscard]] inline TextFormat formatOf(const DecodedText& decoded)
{
    return {decoded.utf8, decoded.lfOnly};
}

// Reads and decodes the file path; with convMode 1 JIS and EUC are recognised and the status
// says what was found. A missing or empty file reads as empty text with empty status; a file
// that exists but cannot be read or decoded is an error naming the file and the reason.
[[nodiscard]] Result<DecodedText> ReadTextFile(const std::string& path, int convMode);

// Writes text (CR LF line ends) to path, or, when path is empty, to name (else "Kestrova.tmp")
// in folder (else GetTempDir()), in mode kTargetSjis (0), kTargetJis (1) or kTargetEuc (2) unless
// format says UTF-8.
// Every line end becomes CR LF, or LF with format.lfOnly. Returns the name written. An existing
// file is replaced whole or, on any failure, left as it was; a character the code cannot hold
// fails the write. A link at path is followed; a work file (empty path) is created 0600 and a
// link in its place is replaced, never followed.
[[nodiscard]] Result<std::string> WriteTextFile(int mode, std::u16string_view text,
                                                const std::string& path, const std::string& folder,
                                                const std::string& name, TextFormat format = {});

// This user's private temporary folder, ending in "/", whose whole path no other user can
// change: $XDG_RUNTIME_DIR when it is set and private; else "kestrova-" and the user id in the
// first of TMP, TMPDIR, /tmp that qualifies (see folderIsSafe); a fresh private folder beside
// it when that name is not safe to use; an error when no folder qualifies.
[[nodiscard]] Result<std::string> GetTempDir();

// Done when no user but this one (and root) can rename, replace or enter-and-change anything
// on the way to folder: every folder from "/" down is owned by root or this user and is not
// writable by others unless it carries the sticky bit, and no step is a symbolic link. With
// privateToo, folder itself must also be this user's, 0700 or closer.
[[nodiscard]] Result<Done> folderIsSafe(const std::string& folder, bool privateToo);

// What WipeFile does with the file's contents before it deletes it.
enum class WipeMode
{
    Delete = 0,         // only deletes
    ZeroThenDelete = 1, // overwrites it with zeros of the same length first
};

// Deletes the file path as mode says. A link is deleted itself, never what it names; a file with
// other hard links is not zeroed (they would lose their text). An empty path or a missing file
// does nothing.
[[nodiscard]] Result<Done> WipeFile(const std::string& path, WipeMode mode);
// The same for path taken relative to the open folder descriptor folder (or AT_FDCWD).
[[nodiscard]] Result<Done> WipeFile(int folder, const std::string& path, WipeMode mode);

} // namespace kestrova::io
