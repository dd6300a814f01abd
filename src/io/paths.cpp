#include "io/paths.h"

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova::io {
namespace {

constexpr std::string_view kSeparators = "\\/";

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The resolved form of an existing path, empty when it does not exist.
std::string resolvedPath(const std::string& path)
{
    const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                               &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// The absolute form of an existing path. Its folders are resolved, but its own name stays as
// given, so that a link keeps the name the user chose.
std::string absoluteForm(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return resolvedPath(path);
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    folder = resolvedPath(folder);
    if (folder.empty())
        return {};
    if (folder.back() != '/')
        folder += '/';
    return folder + name;
}

} // namespace

std::string GetDrivePart(const std::string& path)
{
    if (path.starts_with("\\\\")) {
        const std::string_view server = std::string_view(path).substr(2);
        const auto serverEnd = server.find_first_of(kSeparators);
        if (serverEnd == std::string_view::npos)
            return {};
        const auto shareEnd = server.find_first_of(kSeparators, serverEnd + 1);
        return "\\\\" + std::string(server.substr(0, shareEnd));
    }
    // A colon is an ordinary character of a POSIX name: "/home/u/a:b" and "notes/a:b" have
    // no drive, while "C:" keeps one whatever separator follows it.
    const auto colon = path.find(':');
    if (colon == std::string::npos || path.find('/') < colon)
        return {};
    return path.substr(0, colon + 1);
}

std::string GetDirPart(const std::string& path)
{
    std::string drive = GetDrivePart(path);
    if (drive.empty() && !path.starts_with('/'))
        return {}; // a relative path has no folder part, even with separators in it
    std::string_view rest = std::string_view(path).substr(drive.size());
    if (!rest.empty() && isSeparator(rest.front())) {
        drive += rest.front(); // the root keeps its separator
        rest.remove_prefix(1);
    }
    const auto last = rest.find_last_of(kSeparators);
    if (last == std::string_view::npos)
        return drive;
    return drive + std::string(rest.substr(0, last));
}

std::string GetFilePart(const std::string& path)
{
    std::string file = path.substr(GetDirPart(path).size());
    if (!file.empty() && isSeparator(file.front()))
        file.erase(0, 1);
    return file;
}

std::string GetShortPath(const std::string& path)
{
    if (path.empty())
        return {};
    return resolvedPath(path);
}

std::string GetLongPath(const std::string& path, int attr)
{
    if (path.empty())
        return {};
    struct stat st
    {
    };
    if (stat(path.c_str(), &st) != 0)
        return {};
    const bool folder = S_ISDIR(st.st_mode);
    if (folder != ((attr & kAttrFolder) != 0))
        return {};
    if (!folder && !S_ISREG(st.st_mode))
        return {}; // a device, pipe or socket is no file to open as text
    std::string absolute = absoluteForm(path);
    if (absolute.empty())
        return {};
    const bool readOnly = faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
    const bool hidden = GetFilePart(absolute).starts_with('.');
    if ((readOnly && !(attr & kAttrReadOnly)) || (hidden && !(attr & kAttrHidden)))
        return {};
    return absolute;
}

} // namespace kestrova::io
