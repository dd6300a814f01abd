// The private temporary folder held open for one run: the work files are made, read and
// removed relative to its descriptor, so that its name being swapped meanwhile cannot send
// them elsewhere.
#pragma once

#include "io/result.h"
#include "io/wholefile.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestrova::pgp {

class WorkFolder
{
public:
    // Opens path (a folder, never through a link) and checks it is this user's alone.
    explicit WorkFolder(std::string path);
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    // Whether the folder could be opened and is private; the reason when not.
    [[nodiscard]] const io::Result<io::Done>& opened() const { return m_opened; }
    [[nodiscard]] const std::string& path() const { return m_path; }

    // Writes bytes to name, 0600 and new: what stood there is zeroed and removed first.
    [[nodiscard]] io::Result<io::Done> write(const std::string& name, std::string_view bytes) const;
    // The bytes of the regular file name, or nothing when there is none.
    [[nodiscard]] io::Result<std::optional<std::string>> read(const std::string& name) const;
    // Zeroes and removes name; a file that is not there is no error.
    [[nodiscard]] io::Result<io::Done> wipe(const std::string& name) const;
    // Claims the folder for one run (the work files have fixed names); false while another
    // window or process holds it. Given back when this object goes.
    [[nodiscard]] bool lock() const;
    // Done while path still names the folder held open: programs started by path meet it.
    [[nodiscard]] io::Result<io::Done> stillAtItsPath() const;

private:
    std::string m_path;
    io::FileDescriptor m_fd;
    io::Result<io::Done> m_opened;
};

} // namespace kestrova::pgp
