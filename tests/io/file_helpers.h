// Helpers for the io tests that look at files on disk.
#pragma once

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/stat.h>

namespace kestrova::io::test {

inline std::string readBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary) << bytes;
}

// The permission bits of file itself (a link is not followed).
inline mode_t permissions(const std::filesystem::path& file)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(file.c_str(), &st), 0) << file;
    return st.st_mode & 0777;
}

} // namespace kestrova::io::test
