// Files and folders for the command-line tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace kestrova::test {

inline std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A folder of its own under /tmp, removed with all it holds.
class TempFolder
{
public:
    TempFolder()
    {
        path = "/tmp/kestrova-cli-test.XXXXXX";
        if (!::mkdtemp(path.data()))
            throw std::runtime_error("mkdtemp failed");
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::vector<std::string> names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        return names;
    }
    std::string path;
};

// An address-space limit cannot be combined with AddressSanitizer, which reserves terabytes
// of shadow memory at start.
inline bool cliRunsUnderAddressSanitizer()
{
#if defined(KESTROVA_CLI_SANITIZED) || defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

} // namespace kestrova::test
