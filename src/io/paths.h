// Path helpers: the drive, folder and file parts of a path and its absolute form on disk.
//
// The part functions look only at the text. "\" and "/" both separate; "\\server\share" and
// "C:" are drives as on Windows, and a leading "/" is the root of a POSIX path.
#pragma once

#include <string>

namespace kestrova::io {

// File attribute bits of GetLongPath.
inline constexpr int kAttrReadOnly = 1;
inline constexpr int kAttrHidden = 2;
inline constexpr int kAttrSystem = 4;
inline constexpr int kAttrFolder = 16;
// Any regular file, read-only, hidden or not, and no folder.
inline constexpr int kAttrAnyFile = kAttrReadOnly | kAttrHidden | kAttrSystem;

// The drive or network share a path starts with: "C:", "\\srv\share"; empty for POSIX paths.
[[nodiscard]] std::string GetDrivePart(const std::string& path);

// The folder part: "C:\a\b" of "C:\a\b\c.txt", "C:\" of "C:\c.txt", "/" of "/a.txt"; empty for
// a relative path without a drive.
[[nodiscard]] std::string GetDirPart(const std::string& path);

// The file-name part: what follows the folder part and its separator.
[[nodiscard]] std::string GetFilePart(const std::string& path);

// The absolute, normalised form of an existing path (links resolved); empty when it does not
// exist.
[[nodiscard]] std::string GetShortPath(const std::string& path);

// The absolute form of an existing path whose attributes fit attr: the folder bit must match,
// and read-only (not writable by this user) and hidden (name begins with ".") must be allowed
// by attr. kAttrAnyFile (7) accepts any regular file and no folder. Empty when it does not fit.
[[nodiscard]] std::string GetLongPath(const std::string& path, int attr);

} // namespace kestrova::io
