#include "file_helpers.h"

#include "io/files.h"
#include "io/wholefile.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova::io {
namespace {

namespace fs = std::filesystem;

// Set by the build: __FILE__ may be relative to the build folder (ccache, -ffile-prefix-map).
const fs::path kData = KESTROVA_TEST_DATA;

using test::permissions;
using test::readBytes;
using test::writeBytes;

// A fresh folder per test, with TMP and TMPDIR pointing into it and restored afterwards.
class FilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"TMP", "TMPDIR", "XDG_RUNTIME_DIR"})
            if (const char* value = std::getenv(name))
                m_saved.emplace_back(name, value);
        unsetenv("XDG_RUNTIME_DIR"); // it would be chosen before TMP
        std::string pattern = (fs::temp_directory_path() / "files_test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
        m_tmp = m_folder / "temp with blanks";
        fs::create_directory(m_tmp);
        setenv("TMP", m_tmp.c_str(), 1);
        unsetenv("TMPDIR");
    }
    void TearDown() override
    {
        unsetenv("TMP");
        unsetenv("TMPDIR");
        unsetenv("XDG_RUNTIME_DIR");
        for (const auto& [name, value] : m_saved)
            setenv(name.c_str(), value.c_str(), 1);
        if (!m_folder.empty())
            fs::remove_all(m_folder);
    }
    fs::path file(const std::string& name) const { return m_folder / name; }

    fs::path m_folder;
    fs::path m_tmp;
    std::vector<std::pair<std::string, std::string>> m_saved;
};

TEST_F(FilesTest, JisWithLfReadsAsTextWithStatusOnlyWhenConvModeIsOne)
{
    const auto path = (kData / "mail-jis-lf.txt").string();
    auto converted = ReadTextFile(path, 1);
    ASSERT_TRUE(converted) << converted.error().reason;
    EXPECT_EQ(converted->status, "JIS:LF");
    EXPECT_EQ(converted->text,
              u"> これは引用文で、とても長い行です。\r\n> 次の行。\r\n本文です。\r\n");

    auto raw = ReadTextFile(path, 0);
    ASSERT_TRUE(raw) << raw.error().reason;
    EXPECT_EQ(raw->status, "");
    const std::string bytes = readBytes(path);
    EXPECT_EQ(raw->text, std::u16string(bytes.begin(), bytes.end())); // the escapes are ASCII
}

// An empty file has no code of its own: it is this platform's UTF-8, with LF line ends.
TEST_F(FilesTest, MissingAndEmptyFilesReadAsEmptyUtf8Text)
{
    writeBytes(file("empty.txt"), "");
    for (const auto& path : {file("missing.txt"), file("empty.txt"), file("empty.txt/a.txt")}) {
        auto read = ReadTextFile(path, 1);
        ASSERT_TRUE(read) << path << ": " << read.error().reason;
        EXPECT_TRUE(read->text.empty()) << path;
        EXPECT_EQ(read->status, "UTF-8") << path;
        EXPECT_TRUE(read->utf8 && read->lfOnly) << path;
    }
}

// A file of ASCII alone reads as UTF-8 and keeps its line ends, so that Japanese added to a
// commit template or a signature is written back as UTF-8; JIS, though made of ASCII bytes,
// keeps its code.
TEST_F(FilesTest, AsciiFilesReadAsUtf8AndTakeJapaneseBackAsUtf8)
{
    struct Row
    {
        const char* name;
        std::string bytes;
        int convMode;
        const char* status;
        std::string saved; // after "あ" and a line end are put before the text
    };
    const Row rows[] = {
        {"LF", "# comment\nline\n", 1, "UTF-8:LF", "\xE3\x81\x82\n# comment\nline\n"},
        {"CR LF", "a\r\nb\r\n", 1, "UTF-8", "\xE3\x81\x82\r\na\r\nb\r\n"},
        {"no line end", "-- sig", 1, "UTF-8", "\xE3\x81\x82\n-- sig"},
        {"without conversion", "a\nb\n", 0, "UTF-8:LF", "\xE3\x81\x82\na\nb\n"},
        {"an escape that is no JIS", "\x1b[1mbold\x1b[0m\n", 1, "UTF-8:LF",
         "\xE3\x81\x82\n\x1b[1mbold\x1b[0m\n"},
        {"JIS", "\x1b$B$\"\x1b(B\n", 1, "JIS:LF", "\x1b$B$\"\x1b(B\n\x1b$B$\"\x1b(B\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        writeBytes(file("a.txt"), row.bytes);
        auto read = ReadTextFile(file("a.txt"), row.convMode);
        ASSERT_TRUE(read) << read.error().reason;
        EXPECT_EQ(read->status, row.status);
        const int mode = read->family == CodeFamily::Jis ? kTargetJis : kTargetSjis;
        ASSERT_TRUE(
            WriteTextFile(mode, u"あ\r\n" + read->text, file("a.txt"), "", "", formatOf(*read)));
        EXPECT_EQ(readBytes(file("a.txt")), row.saved);
    }
}

TEST_F(FilesTest, AFileThatCannotBeReadIsAnErrorNamingIt)
{
    fs::create_directory(file("folder"));
    fs::create_symlink(file("vanished.txt"), file("link-to-vanished.txt"));
    ASSERT_EQ(mkfifo(file("pipe").c_str(), 0600), 0);
    writeBytes(file("binary.txt"), "ok\xFF\xFF");
    for (const char* name : {"folder", "link-to-vanished.txt", "pipe", "binary.txt"}) {
        auto read = ReadTextFile(file(name), 1);
        ASSERT_FALSE(read) << name;
        EXPECT_EQ(read.error().path, file(name).string());
        EXPECT_FALSE(read.error().reason.empty()) << name;
    }
}

TEST_F(FilesTest, AFileWithoutReadPermissionIsAnError)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads files whatever their permission bits";
    writeBytes(file("secret.txt"), "text");
    fs::permissions(file("secret.txt"), fs::perms::none);
    auto read = ReadTextFile(file("secret.txt"), 1);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, IoErrorKind::NotReadable);
}

TEST_F(FilesTest, ReadAndWrittenBackUnderItsNameAFileKeepsItsBytes)
{
    struct Row
    {
        const char* name;
        int mode;
        const char* expected;
    };
    for (const Row& row : {Row{"mail-utf8-lf.txt", 0, "mail-utf8-lf.txt"},
                           Row{"mail-sjis-crlf.txt", 0, "mail-sjis-crlf.txt"},
                           Row{"mail-euc-lf.txt", 2, "mail-euc-lf.txt"},
                           Row{"mail-sjis-cr.txt", 0, "mail-sjis-crlf.txt"}}) {
        SCOPED_TRACE(row.name);
        fs::copy_file(kData / row.name, file(row.name));
        auto read = ReadTextFile(file(row.name), 1);
        ASSERT_TRUE(read) << read.error().reason;
        auto written = WriteTextFile(row.mode, read->text, file(row.name), "", "", formatOf(*read));
        ASSERT_TRUE(written) << written.error().reason;
        EXPECT_EQ(*written, file(row.name).string());
        EXPECT_EQ(readBytes(file(row.name)), readBytes(kData / row.expected));
    }
}

TEST_F(FilesTest, ReplacingALongerFileLeavesExactlyTheNewBytes)
{
    writeBytes(file("a.txt"), std::string(1000, 'x'));
    ASSERT_TRUE(WriteTextFile(kTargetSjis, u"あ\r\nb", file("a.txt"), "", ""));
    EXPECT_EQ(readBytes(file("a.txt")), "\x82\xA0\r\nb");
    ASSERT_TRUE(WriteTextFile(kTargetSjis, u"", file("a.txt"), "", ""));
    EXPECT_TRUE(fs::exists(file("a.txt")));
    EXPECT_EQ(readBytes(file("a.txt")), "");
}

TEST_F(FilesTest, WorkFilesGoToTheTemporaryFolderPrivately)
{
    auto temp = GetTempDir();
    ASSERT_TRUE(temp) << temp.error().reason;
    auto tmp = WriteTextFile(kTargetJis, u"あ", "", "", "");
    ASSERT_TRUE(tmp) << tmp.error().reason;
    EXPECT_EQ(*tmp, *temp + "Kestrova.tmp");
    EXPECT_EQ(readBytes(*tmp), "\x1B$B$\"\x1B(B");
    EXPECT_EQ(permissions(*tmp), 0600u);
    auto bat = WriteTextFile(kTargetSjis, u"@ECHO OFF", "", "", "Kestrova.bat");
    ASSERT_TRUE(bat);
    EXPECT_EQ(*bat, *temp + "Kestrova.bat");
    auto inFolder =
        WriteTextFile(kTargetSjis, u"x", "", m_folder.string(), "w.tmp"); // no final "/"
    ASSERT_TRUE(inFolder);
    EXPECT_EQ(readBytes(file("w.tmp")), "x");
}

TEST_F(FilesTest, ACharacterWithoutFormFailsTheWriteAndKeepsTheOldFile)
{
    for (const auto& [text, mode] : {std::pair{u"a😀", 0}, std::pair{u"ⅰ", 1}, std::pair{u"ⅰ", 2}}) {
        writeBytes(file("a.txt"), "old");
        auto written = WriteTextFile(mode, text, file("a.txt"), "", "");
        ASSERT_FALSE(written) << mode;
        EXPECT_EQ(written.error().path, file("a.txt").string());
        EXPECT_NE(written.error().reason.find("U+"), std::string::npos) << written.error().reason;
        EXPECT_EQ(readBytes(file("a.txt")), "old");
    }
    EXPECT_TRUE(WriteTextFile(kTargetSjis, u"ⅰ", file("a.txt"), "", "")); // Shift_JIS has it
}

TEST_F(FilesTest, AFailedReplaceReportsTheFileAndLeavesTheFolderAsItWas)
{
    writeBytes(file("a.txt"), "old");
    fs::create_directory(file("folder"));
    for (const auto& path :
         {file("missing/a.txt"), file("a.txt/b.txt"), file("folder"), file("")}) {
        auto written = WriteTextFile(kTargetSjis, u"new", path.string(), "", "");
        ASSERT_FALSE(written) << path;
        EXPECT_EQ(written.error().path, path.string());
    }
    EXPECT_EQ(readBytes(file("a.txt")), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()),
              3); // a.txt, folder, temp
}

TEST_F(FilesTest, AWriteCutShortLeavesTheOldFileWhole)
{
    // The size limit stands in for a full disk: the kernel refuses to grow a file past it.
    writeBytes(file("a.txt"), "old");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    auto written = WriteTextFile(kTargetSjis, std::u16string(100, u'x'), file("a.txt"), "", "");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_FALSE(written);
    EXPECT_EQ(readBytes(file("a.txt")), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()),
              2); // a.txt and temp
}

TEST_F(FilesTest, ALinkIsFollowedAndTheOldPermissionsKept)
{
    writeBytes(file("real.txt"), "old");
    fs::permissions(file("real.txt"), fs::perms(0640));
    fs::create_symlink("real.txt", file("link.txt"));
    ASSERT_TRUE(WriteTextFile(kTargetSjis, u"new", file("link.txt"), "", ""));
    EXPECT_TRUE(fs::is_symlink(file("link.txt")));
    EXPECT_EQ(readBytes(file("real.txt")), "new");
    EXPECT_EQ(permissions(file("real.txt")), 0640u);
}

TEST_F(FilesTest, AWorkFileReplacesALinkInItsPlaceWithoutFollowingIt)
{
    writeBytes(file("victim.txt"), "keep");
    fs::create_symlink(file("victim.txt"), file("Kestrova.tmp"));
    ASSERT_TRUE(WriteTextFile(kTargetSjis, u"work", "", m_folder.string() + "/", ""));
    EXPECT_FALSE(fs::is_symlink(file("Kestrova.tmp")));
    EXPECT_EQ(readBytes(file("Kestrova.tmp")), "work");
    EXPECT_EQ(readBytes(file("victim.txt")), "keep");
}

TEST_F(FilesTest, TheTemporaryFolderIsAPrivateFolderInTmp)
{
    auto temp = GetTempDir();
    ASSERT_TRUE(temp) << temp.error().reason;
    EXPECT_EQ(*temp,
              fs::canonical(m_tmp).string() + "/kestrova-" + std::to_string(geteuid()) + "/");
    EXPECT_EQ(permissions(*temp), 0700u);
    unsetenv("TMP");
    setenv("TMPDIR", m_folder.c_str(), 1);
    EXPECT_EQ(*GetTempDir(),
              fs::canonical(m_folder).string() + "/kestrova-" + std::to_string(geteuid()) + "/");
}

// unsafe: the usual folder, which must not be used; the fresh one is made beside it.
void expectFreshPrivateFolder(const fs::path& unsafe)
{
    const std::string beside = fs::canonical(unsafe.parent_path()).string() + "/";
    auto temp = GetTempDir();
    ASSERT_TRUE(temp) << temp.error().reason;
    EXPECT_NE(*temp, beside + unsafe.filename().string() + "/");
    EXPECT_TRUE(temp->starts_with(beside) && temp->ends_with("/")) << *temp;
    struct stat st
    {
    };
    ASSERT_EQ(lstat(temp->c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(*GetTempDir(), *temp); // every call of a run meets in the same folder
}

TEST_F(FilesTest, AnUnsafeTemporaryFolderNameGivesAFreshPrivateFolder)
{
    const fs::path own = m_tmp / ("kestrova-" + std::to_string(geteuid()));
    fs::create_directory(file("elsewhere"));
    fs::permissions(file("elsewhere"), fs::perms::owner_all);
    fs::create_directory_symlink(file("elsewhere"), own);
    expectFreshPrivateFolder(own);
    for (const auto& make : {+[](const fs::path& p) { writeBytes(p, ""); },
                             +[](const fs::path& p) {
                                 fs::create_directory(p);
                                 fs::permissions(p, fs::perms::all);
                             }}) {
        fs::remove_all(m_tmp);
        fs::create_directory(m_tmp);
        make(own);
        expectFreshPrivateFolder(own);
    }
}

TEST_F(FilesTest, ATemporaryFolderOfSomeoneElseIsNotUsed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can make a folder that belongs to someone else";
    const fs::path own = m_tmp / "kestrova-0";
    fs::create_directory(own);
    ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
    fs::permissions(own, fs::perms::owner_all);
    expectFreshPrivateFolder(own);
}

// Another user who may rename entries of a folder on the way could swap the private folder
// for one of theirs while a pass-phrase dialog is open: such a folder is passed over.
TEST_F(FilesTest, ATemporaryFolderOthersCouldSwapIsNotUsed)
{
    const fs::path open = m_folder / "open to all";
    const fs::path below = open / "mine";
    fs::create_directories(below);
    fs::permissions(open, fs::perms::all); // 0777, no sticky bit
    fs::permissions(below, fs::perms::owner_all);
    const fs::path sticky = m_folder / "sticky";
    fs::create_directory(sticky);
    fs::permissions(sticky, fs::perms::all | fs::perms::sticky_bit);
    const std::string fallback = fs::canonical(m_tmp).string() + "/";
    struct Row
    {
        const char* name;
        fs::path tmp;
        bool used;
    } rows[] = {
        {"writable by all, not sticky", open, false},
        {"inside such a folder", below, false},
        {"writable by all and sticky, as /tmp", sticky, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        setenv("TMP", row.tmp.c_str(), 1);
        setenv("TMPDIR", m_tmp.c_str(), 1);
        auto temp = GetTempDir();
        ASSERT_TRUE(temp) << temp.error().reason;
        const std::string inside = fs::canonical(row.tmp).string() + "/";
        EXPECT_EQ(temp->starts_with(inside), row.used) << *temp;
        if (!row.used) {
            EXPECT_TRUE(temp->starts_with(fallback)) << *temp;
        }
        EXPECT_TRUE(folderIsSafe(*temp, true)) << *temp;
    }
    fs::permissions(open, fs::perms::owner_all);
}

TEST_F(FilesTest, TheRuntimeFolderIsPreferredWhenItIsPrivate)
{
    const fs::path runtime = m_folder / "run";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(*GetTempDir(), fs::canonical(runtime).string() + "/");
    fs::permissions(runtime, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    EXPECT_EQ(*GetTempDir(),
              fs::canonical(m_tmp).string() + "/kestrova-" + std::to_string(geteuid()) + "/");
}

TEST_F(FilesTest, WipeFileZeroesOnlyInModeOneAndNeverWhatALinkNames)
{
    for (WipeMode mode : {WipeMode::Delete, WipeMode::ZeroThenDelete}) {
        writeBytes(file("work.tmp"), "pass phrase");
        std::ifstream stillOpen(file("work.tmp"), std::ios::binary);
        ASSERT_TRUE(WipeFile(file("work.tmp"), mode));
        EXPECT_FALSE(fs::exists(file("work.tmp")));
        const std::string left{std::istreambuf_iterator<char>(stillOpen), {}};
        EXPECT_EQ(left, mode == WipeMode::ZeroThenDelete ? std::string(11, '\0') : "pass phrase");
    }
    writeBytes(file("real.txt"), "keep");
    fs::create_symlink(file("real.txt"), file("link.tmp"));
    ASSERT_TRUE(WipeFile(file("link.tmp"), WipeMode::ZeroThenDelete));
    EXPECT_FALSE(fs::is_symlink(file("link.tmp")));
    EXPECT_EQ(readBytes(file("real.txt")), "keep");
    fs::create_hard_link(file("real.txt"), file("hard.tmp")); // zeros would reach real.txt
    ASSERT_TRUE(WipeFile(file("hard.tmp"), WipeMode::ZeroThenDelete));
    EXPECT_FALSE(fs::exists(file("hard.tmp")));
    EXPECT_EQ(readBytes(file("real.txt")), "keep");
    EXPECT_TRUE(WipeFile("", WipeMode::ZeroThenDelete));
    EXPECT_TRUE(WipeFile(file("missing.tmp"), WipeMode::ZeroThenDelete));
}

// Every name of the file sees the saved text: a rename would leave the others on the old one.
TEST_F(FilesTest, AFileWithOtherNamesIsWrittenInPlaceAndKeepsThem)
{
    writeBytes(file("mail.txt"), "old\r\n");
    ASSERT_EQ(::link(file("mail.txt").c_str(), file("other name.txt").c_str()), 0);
    struct stat before
    {
    };
    ASSERT_EQ(::stat(file("mail.txt").c_str(), &before), 0);
    ASSERT_TRUE(WriteTextFile(kTargetSjis, u"new\r\n", file("mail.txt").string(), {}, {}));
    EXPECT_EQ(readBytes(file("mail.txt")), "new\r\n");
    EXPECT_EQ(readBytes(file("other name.txt")), "new\r\n");
    struct stat after
    {
    };
    ASSERT_EQ(::stat(file("mail.txt").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    // The copy of the old content is gone once the write is done, and nothing stands beside.
    std::size_t kept = 0;
    for (const auto& entry : fs::recursive_directory_iterator(m_tmp))
        kept += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(kept, 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()), 3);
}

TEST_F(FilesTest, AWritableFileInAReadOnlyFolderIsWrittenInPlace)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into a read-only folder";
    const fs::path folder = m_folder / "read-only";
    fs::create_directory(folder);
    writeBytes(folder / "mail.txt", "old\r\n");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const auto written =
        WriteTextFile(kTargetSjis, u"new\r\n", (folder / "mail.txt").string(), {}, {});
    fs::permissions(folder, fs::perms::owner_all);
    ASSERT_TRUE(written) << written.error().reason;
    EXPECT_EQ(readBytes(folder / "mail.txt"), "new\r\n");
}

// A save cut off between writing and renaming leaves its new file; the next save of the same
// file takes it away, and nobody else's.
TEST_F(FilesTest, LeftoversOfAnInterruptedSaveGoAtTheNextSave)
{
    writeBytes(file("mail.txt"), "old\r\n");
    const char* const stale[] = {".kestrova-mail.txt.abcdefghij", ".kestrova-mail.txt.0123456789"};
    for (const char* name : stale) {
        writeBytes(file(name), "the whole mail\r\n");
        const fs::file_time_type old = fs::file_time_type::clock::now() - std::chrono::minutes(5);
        fs::last_write_time(file(name), old);
    }
    writeBytes(file(".kestrova-mail.txt.freshfresh"), "a save under way");
    writeBytes(file(".kestrova-other.txt.abcdefghij"), "another file's");
    fs::last_write_time(file(".kestrova-other.txt.abcdefghij"),
                        fs::file_time_type::clock::now() - std::chrono::minutes(5));
    ASSERT_TRUE(WriteTextFile(kTargetSjis, u"new\r\n", file("mail.txt").string(), {}, {}));
    for (const char* name : stale)
        EXPECT_FALSE(fs::exists(file(name))) << name;
    EXPECT_TRUE(fs::exists(file(".kestrova-mail.txt.freshfresh")));
    EXPECT_TRUE(fs::exists(file(".kestrova-other.txt.abcdefghij")));
    EXPECT_EQ(readBytes(file("mail.txt")), "new\r\n");
}

TEST_F(FilesTest, AFileWithoutWriteBitsIsReadOnlyEvenForRoot)
{
    writeBytes(file("ro.txt"), "x");
    fs::permissions(file("ro.txt"), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_TRUE(isReadOnlyFile(file("ro.txt").string()));
    fs::permissions(file("ro.txt"), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(isReadOnlyFile(file("ro.txt").string()));
    EXPECT_FALSE(isReadOnlyFile(file("missing.txt").string()));
    EXPECT_FALSE(isReadOnlyFile(m_folder.string()));
}

} // namespace
} // namespace kestrova::io
