#include "io/paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova::io {
namespace {

namespace fs = std::filesystem;

TEST(PathParts, SplitWindowsAndPosixPaths)
{
    struct Row
    {
        const char* name;
        std::string path, drive, dir, file;
    };
    for (const Row& row : {
             Row{"drive and folders", "C:\\a\\b\\c.txt", "C:", "C:\\a\\b", "c.txt"},
             Row{"file in a drive's root", "C:\\c.txt", "C:", "C:\\", "c.txt"},
             Row{"drive without root", "C:c.txt", "C:", "C:", "c.txt"},
             Row{"network share", "\\\\srv\\share\\d\\f", "\\\\srv\\share", "\\\\srv\\share\\d",
                 "f"},
             Row{"server without share", "\\\\srv", "", "", "\\srv"},
             Row{"relative Windows path", "dir\\file", "", "", "dir\\file"},
             Row{"rooted without drive", "\\dir\\file.txt", "", "", "dir\\file.txt"},
             Row{"bare name", "c.txt", "", "", "c.txt"},
             Row{"POSIX path", "/home/u/a.txt", "", "/home/u", "a.txt"},
             Row{"POSIX file in the root", "/a.txt", "", "/", "a.txt"},
             Row{"POSIX root", "/", "", "/", ""},
             Row{"colon in a POSIX name", "/home/u/a:b.txt", "", "/home/u", "a:b.txt"},
             Row{"colon in a relative POSIX name", "notes/a:b", "", "", "notes/a:b"},
             Row{"drive with slashes", "C:/mail/a.txt", "C:", "C:/mail", "a.txt"},
         }) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(GetDrivePart(row.path), row.drive);
        EXPECT_EQ(GetDirPart(row.path), row.dir);
        EXPECT_EQ(GetFilePart(row.path), row.file);
    }
}

class PathsOnDisk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "paths_test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = fs::canonical(pattern);
        fs::create_directory(m_folder / "with blanks");
        std::ofstream(m_folder / "with blanks" / "a.txt") << "a";
        std::ofstream(m_folder / ".hidden") << "h";
        m_savedDir = fs::current_path();
        fs::current_path(m_folder);
    }
    void TearDown() override
    {
        fs::current_path(m_savedDir);
        fs::remove_all(m_folder);
    }

    fs::path m_folder;
    fs::path m_savedDir;
};

TEST_F(PathsOnDisk, GetShortPathIsTheAbsoluteFormOfAnExistingPath)
{
    const std::string file = (m_folder / "with blanks" / "a.txt").string();
    EXPECT_EQ(GetShortPath("with blanks/../with blanks/./a.txt"), file);
    fs::create_symlink("with blanks", m_folder / "link");
    EXPECT_EQ(GetShortPath((m_folder / "link" / "a.txt").string()), file);
    EXPECT_EQ(GetShortPath(m_folder.string() + "/"), m_folder.string());
    EXPECT_EQ(GetShortPath("missing.txt"), "");
    EXPECT_EQ(GetShortPath(""), "");
}

TEST_F(PathsOnDisk, GetLongPathAcceptsOnlyWhatFitsTheAttributes)
{
    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    struct Row
    {
        const char* path;
        int attr;
        std::string expected;
    };
    const std::string file = (m_folder / "with blanks" / "a.txt").string();
    for (const Row& row : {
             Row{"with blanks/a.txt", kAttrAnyFile, file},
             Row{"./with blanks/../with blanks/a.txt", 0, file},
             Row{"with blanks", kAttrAnyFile, ""},
             Row{"with blanks/", kAttrFolder, (m_folder / "with blanks").string()},
             Row{"with blanks/a.txt", kAttrFolder, ""},
             Row{".hidden", 0, ""},
             Row{".hidden", kAttrHidden, (m_folder / ".hidden").string()},
             Row{"pipe", kAttrAnyFile, ""},
             Row{"missing.txt", kAttrAnyFile, ""},
         }) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(GetLongPath(row.path, row.attr), row.expected);
    }
}

TEST_F(PathsOnDisk, GetLongPathRefusesAReadOnlyFileUnlessAllowed)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write every file, so none is read-only to it";
    fs::permissions("with blanks/a.txt", fs::perms::owner_read);
    EXPECT_EQ(GetLongPath("with blanks/a.txt", 0), "");
    EXPECT_EQ(GetLongPath("with blanks/a.txt", kAttrReadOnly),
              (m_folder / "with blanks" / "a.txt").string());
}

} // namespace
} // namespace kestrova::io
