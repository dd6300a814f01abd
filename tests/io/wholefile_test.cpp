#include "file_helpers.h"

#include "io/wholefile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova::io {
namespace {

namespace fs = std::filesystem;

using test::permissions;
using test::readBytes;
using test::writeBytes;

class WholeFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "wholefile_test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
    }
    void TearDown() override
    {
        if (!m_folder.empty())
            fs::remove_all(m_folder);
    }
    std::string file(const std::string& name) const { return (m_folder / name).string(); }
    std::size_t entries() const
    {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()));
    }

    fs::path m_folder;
};

TEST_F(WholeFileTest, ReadsUpToTheLimitAndRefusesOneByteMore)
{
    writeBytes(file("a"), "12345");
    const struct
    {
        const char* name;
        std::size_t maxSize;
        bool read;
    } rows[] = {
        {"no limit", std::numeric_limits<std::size_t>::max(), true},
        {"limit above the size", 6, true},
        {"limit at the size", 5, true},
        {"limit one below", 4, false},
        {"limit zero", 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto read = readWholeFile(file("a"), row.maxSize);
        ASSERT_EQ(static_cast<bool>(read), row.read);
        if (row.read) {
            ASSERT_TRUE(read->has_value());
            EXPECT_EQ(**read, "12345");
        } else {
            EXPECT_EQ(read.error().kind, IoErrorKind::TooLarge);
            EXPECT_EQ(read.error().path, file("a"));
        }
    }
}

TEST_F(WholeFileTest, TellsNothingThereFromWhatCannotBeRead)
{
    writeBytes(file("empty"), "");
    fs::create_directory(file("folder"));
    fs::create_symlink("nowhere", file("dangling"));
    ASSERT_EQ(::mkfifo(file("fifo").c_str(), 0600), 0);

    auto missing = readWholeFile(file("missing"));
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->has_value());
    auto underAFile = readWholeFile(file("empty/x"));
    ASSERT_TRUE(underAFile);
    EXPECT_FALSE(underAFile->has_value());
    auto empty = readWholeFile(file("empty"));
    ASSERT_TRUE(empty);
    ASSERT_TRUE(empty->has_value());
    EXPECT_EQ(**empty, "");

    const struct
    {
        const char* name;
        IoErrorKind kind;
    } rows[] = {{"dangling", IoErrorKind::NotFound},
                {"folder", IoErrorKind::NotAFile},
                {"fifo", IoErrorKind::NotAFile}};
    for (const auto& row : rows) {
        auto read = readWholeFile(file(row.name));
        ASSERT_FALSE(read) << row.name;
        EXPECT_EQ(read.error().kind, row.kind) << row.name;
        EXPECT_EQ(read.error().path, file(row.name));
    }
}

TEST_F(WholeFileTest, FollowsAChainOfLinksUpToTheKernelsHopLimit)
{
    writeBytes(file("target"), "x");
    // link0 -> target, linkN -> link(N-1): following linkN takes N + 1 hops.
    std::string previous = "target";
    for (int i = 0; i <= kMaxLinkHops; ++i) {
        const std::string name = "link" + std::to_string(i);
        fs::create_symlink(previous, file(name));
        previous = name;
    }
    const std::string longest = file("link" + std::to_string(kMaxLinkHops - 1));
    auto followed = followLinks(longest);
    ASSERT_TRUE(followed) << followed.error().reason;
    EXPECT_EQ(fs::canonical(*followed), fs::canonical(file("target")));

    auto tooMany = followLinks(file("link" + std::to_string(kMaxLinkHops)));
    ASSERT_FALSE(tooMany);
    EXPECT_EQ(tooMany.error().path, file("link" + std::to_string(kMaxLinkHops)));
}

TEST_F(WholeFileTest, FollowsARelativeLinkWithALongText)
{
    // Longer than the 256 bytes first tried; resolved from the link's own folder.
    std::string relative;
    while (relative.size() < 3000)
        relative += "./";
    relative += "target";
    writeBytes(file("target"), "x");
    fs::create_symlink(relative, file("link"));
    auto followed = followLinks(file("link"));
    ASSERT_TRUE(followed) << followed.error().reason;
    EXPECT_EQ(followed->size(), file("link").size() - 4 + relative.size());
    EXPECT_EQ(fs::canonical(*followed), fs::canonical(file("target")));
}

TEST_F(WholeFileTest, ReplacesWholeWithTheModeTheOptionsAsk)
{
    const struct
    {
        const char* name;
        mode_t oldMode; // 0: no old file
        ReplaceOptions options;
        mode_t umask;
        mode_t expected;
    } rows[] = {
        {"a replaced file keeps its mode", 0640, {}, 022, 0640},
        {"a new file gets the umask", 0, {}, 027, 0640},
        {"a private file whatever the old mode", 0644, {LinkAtPath::Follow, true, {}}, 022, 0600},
        {"a private file whatever the umask", 0, {LinkAtPath::Follow, true, {}}, 0277, 0600},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = file(row.name);
        if (row.oldMode != 0) {
            writeBytes(path, "old");
            fs::permissions(path, fs::perms(row.oldMode));
        }
        const mode_t saved = ::umask(row.umask);
        const auto replaced = replaceWholeFile(path, "new", row.options);
        ::umask(saved);
        ASSERT_TRUE(replaced) << replaced.error().reason;
        EXPECT_EQ(readBytes(path), "new");
        EXPECT_EQ(permissions(path), row.expected);
    }
    EXPECT_EQ(entries(), std::size(rows)); // no new file left behind
}

TEST_F(WholeFileTest, FollowsOrReplacesALinkAsAsked)
{
    writeBytes(file("real"), "old");
    fs::create_symlink("real", file("followed"));
    fs::create_symlink("real", file("replaced"));
    ASSERT_TRUE(replaceWholeFile(file("followed"), "through", {LinkAtPath::Follow, false, {}}));
    EXPECT_TRUE(fs::is_symlink(file("followed")));
    EXPECT_EQ(readBytes(file("real")), "through");
    ASSERT_TRUE(replaceWholeFile(file("replaced"), "instead", {LinkAtPath::Replace, false, {}}));
    EXPECT_FALSE(fs::is_symlink(file("replaced")));
    EXPECT_EQ(readBytes(file("replaced")), "instead");
    EXPECT_EQ(readBytes(file("real")), "through");
}

TEST_F(WholeFileTest, RefusesAFolderOrFifoAndLeavesNothingBehind)
{
    fs::create_directory(file("folder"));
    ASSERT_EQ(::mkfifo(file("fifo").c_str(), 0600), 0);
    for (const char* name : {"folder", "fifo"}) {
        const auto replaced = replaceWholeFile(file(name), "x");
        ASSERT_FALSE(replaced) << name;
        EXPECT_EQ(replaced.error().kind, IoErrorKind::NotAFile);
    }
    const auto noFolder = replaceWholeFile(file("missing/a"), "x");
    ASSERT_FALSE(noFolder);
    EXPECT_EQ(noFolder.error().path, file("missing/a"));
    EXPECT_EQ(entries(), 2u);
}

TEST(FolderOf, NamesTheFolderOfTheLastEntry)
{
    EXPECT_EQ(folderOf("a"), ".");
    EXPECT_EQ(folderOf("/a"), "/");
    EXPECT_EQ(folderOf("/a/b"), "/a");
    EXPECT_EQ(folderOf("a/b/c"), "a/b");
    EXPECT_EQ(joinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
}

} // namespace
} // namespace kestrova::io
