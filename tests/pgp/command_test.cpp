// kestrova-command as a program: its batch language, COMMAND, and how it ends a gpg that does
// not finish.
#include "gpg_support.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using kestrova::test::readFile;
using kestrova::test::runProcess;
using kestrova::test::TempFolder;
using kestrova::test::writeFile;

class KestrovaCommand : public ::testing::Test
{
protected:
    kestrova::test::ProcessResult runBatch(const std::string& text,
                                           std::vector<std::string> before = {})
    {
        writeFile(folder.path + "/Kestrova.bat", text);
        before.insert(before.end(), {"/C", folder.path + "/Kestrova.bat"});
        return runProcess(KESTROVA_COMMAND_PATH, before, "");
    }
    std::string log() { return readFile(folder.path + "/log"); }

    TempFolder folder;
};

// A private folder whose "gpg" never finishes.
std::string hangingGpgFolder(const TempFolder& folder)
{
    const std::string bin = folder.path + "/bin";
    ::mkdir(bin.c_str(), 0700);
    EXPECT_EQ(::symlink(STAND_IN_PATH, (bin + "/gpg").c_str()), 0);
    return bin;
}

// PATH begins with folder while it lives: kestrova-command is started with that PATH.
class PathFirst
{
public:
    explicit PathFirst(const std::string& folder)
        : m_old(std::getenv("PATH"))
    {
        ::setenv("PATH", (folder + ":" + m_old).c_str(), 1);
    }
    ~PathFirst() { ::setenv("PATH", m_old.c_str(), 1); }
    PathFirst(const PathFirst&) = delete;
    PathFirst& operator=(const PathFirst&) = delete;

private:
    std::string m_old;
};

TEST_F(KestrovaCommand, CommandOpensTheTerminalWithTheBatchEnvironmentAndFolder)
{
    ::setenv("TERMINAL", STAND_IN_PATH, 1);
    ::setenv("SHELL", "/bin/bash", 1);
    ::setenv("STAND_IN_LOG", (folder.path + "/log").c_str(), 1);
    ::setenv("GONE", "still here", 1);
    const auto result = runBatch("@ECHO OFF\r\n"
                                 "rem kestrova DOS Command batch file.\r\n"
                                 "\r\n"
                                 "SET TZ=JST-9\r\n"
                                 "SET FOO=100%% of %GONE%\r\n"
                                 "SET GONE=\r\n"
                                 "SET PGPPATH=" +
                                     folder.path +
                                     "\r\n"
                                     "SET PATH=/opt/pgp;%PATH%\r\n"
                                     "C:\r\n"
                                     "CD " +
                                     folder.path + "\r\nCOMMAND\r\n",
                                 {"/E:2048"});
    ::unsetenv("TERMINAL");
    ::unsetenv("GONE");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const std::string written = log();
    EXPECT_NE(written.find("arg=-e\narg=/bin/bash\n"), std::string::npos) << written;
    EXPECT_NE(written.find("cwd=" + folder.path + "\n"), std::string::npos) << written;
    EXPECT_NE(written.find("GNUPGHOME=" + folder.path + "\n"), std::string::npos) << written;
    EXPECT_NE(written.find("FOO=100% of still here\n"), std::string::npos) << written;
    EXPECT_NE(written.find("GONE=(unset)\n"), std::string::npos) << written;
    EXPECT_NE(written.find("PATH=/opt/pgp:"), std::string::npos) << written;
    EXPECT_NE(written.find("TZ=JST-9\n"), std::string::npos) << written;
}

TEST_F(KestrovaCommand, ALineItDoesNotKnowStopsTheBatchWithoutShowingTheLine)
{
    ::setenv("TERMINAL", STAND_IN_PATH, 1);
    ::setenv("STAND_IN_LOG", (folder.path + "/log").c_str(), 1);
    const char* lines[] = {
        "DEL C:\\*.*",
        "ECHO secret-word",
        "CALL other.bat",
        "pgp.exe -kv & COMMAND",
        "PGP.EXE -z\"secret-word -kv",
        "SET =secret-word",
        "/usr/bin/gpg -k secret-word",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        const auto result = runBatch(std::string("@ECHO OFF\r\n") + line + "\r\nCOMMAND\r\n");
        EXPECT_NE(result.exitStatus, 0);
        EXPECT_NE(result.err.find("line 2"), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("secret-word"), std::string::npos) << result.err;
        EXPECT_EQ(::access((folder.path + "/log").c_str(), F_OK), -1) << "COMMAND ran";
    }
    ::unsetenv("TERMINAL");
}

TEST_F(KestrovaCommand, ArgumentsOtherThanEnvironmentSizeAndBatchAreRefused)
{
    writeFile(folder.path + "/Kestrova.bat", "@ECHO OFF\r\n");
    const std::string batch = folder.path + "/Kestrova.bat";
    struct Row
    {
        std::vector<std::string> args;
        int status;
    } rows[] = {
        {{"/C", batch}, 0},
        {{"/E:1024", "/C", batch}, 0},
        {{"/c", batch}, 0},
        {{}, 2},
        {{"/E:big", "/C", batch}, 2},
        {{"/C"}, 2},
        {{"/K", batch}, 2},
        {{"/C", batch, "extra"}, 2},
        {{"/C", folder.path + "/missing.bat"}, 1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(runProcess(KESTROVA_COMMAND_PATH, row.args, "").exitStatus, row.status)
            << ::testing::PrintToString(row.args);
}

TEST_F(KestrovaCommand, ARedirectionNeverFollowsAPlantedLink)
{
    const std::string victim = folder.path + "/victim";
    writeFile(victim, "keep me");
    ASSERT_EQ(::symlink(victim.c_str(), (folder.path + "/Kestrova.out").c_str()), 0);
    const auto result =
        runBatch("PGP.EXE +batchmode +force -kv > " + folder.path + "/Kestrova.out\r\n");
    EXPECT_NE(result.exitStatus, 0);
    EXPECT_EQ(readFile(victim), "keep me");
}

TEST_F(KestrovaCommand, AGpgThatDoesNotFinishIsEndedAtTheTimeLimit)
{
    const std::string bin = hangingGpgFolder(folder);
    PathFirst path(bin);
    ::setenv("KESTROVA_GPG_TIMEOUT", "1", 1);
    const auto start = std::chrono::steady_clock::now();
    const auto result = runBatch("PGP.EXE +batchmode -kv > " + folder.path + "/out\r\n");
    const auto took = std::chrono::steady_clock::now() - start;
    ::unsetenv("KESTROVA_GPG_TIMEOUT");
    EXPECT_NE(result.exitStatus, 0);
    EXPECT_LT(took, std::chrono::seconds(30)); // the stand-in would sleep for 60
    EXPECT_NE(readFile(folder.path + "/out").find("did not finish within 1 seconds"),
              std::string::npos)
        << readFile(folder.path + "/out");
}

TEST_F(KestrovaCommand, SigtermEndsTheBatchAndItsGpg)
{
    const std::string bin = hangingGpgFolder(folder);
    PathFirst path(bin);
    writeFile(folder.path + "/Kestrova.bat",
              "PGP.EXE +batchmode -kv > " + folder.path + "/out\r\nCOMMAND\r\n");
    std::vector<std::string> argv = {KESTROVA_COMMAND_PATH, "/C", folder.path + "/Kestrova.bat"};
    std::vector<char*> args;
    for (auto& word : argv)
        args.push_back(word.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ), 0);
    // Wait until the stand-in gpg runs, then ask the batch to stop as the window's cancel does.
    const std::string standIn = bin + "/gpg";
    for (int i = 0; i < 500 && kestrova::test::commandLinesHolding(standIn).empty(); ++i)
        ::usleep(10000);
    ASSERT_FALSE(kestrova::test::commandLinesHolding(standIn).empty());
    const auto start = std::chrono::steady_clock::now();
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_NE(readFile(folder.path + "/out").find("Stopped"), std::string::npos);
    EXPECT_TRUE(kestrova::test::commandLinesHolding(standIn).empty());
}

// The batch's SET PATH puts the PGP folder first; a program named gpg there, or in a folder
// smuggled in through a ";" of its name, must never be run and handed the pass phrase.
TEST_F(KestrovaCommand, GpgIsNeverTakenFromThePathTheBatchSet)
{
    const std::string bin = hangingGpgFolder(folder);
    kestrova::test::GpgHome home;
    ::setenv("KESTROVA_GPG_TIMEOUT", "20", 1);
    const auto result = runBatch("SET PGPPATH=" + home.path + "\r\nSET PATH=" + bin +
                                 ";%PATH%\r\nPGP.EXE +batchmode -kv > " + folder.path + "/out\r\n");
    ::unsetenv("KESTROVA_GPG_TIMEOUT");
    EXPECT_EQ(result.exitStatus, 0) << readFile(folder.path + "/out");
    EXPECT_NE(readFile(folder.path + "/out").find("0 keys found."), std::string::npos)
        << readFile(folder.path + "/out");
}

// The batch says what runs as this user and may hold the pass phrase: it is read only from a
// folder no one else can change, and only when no one else may write it.
TEST_F(KestrovaCommand, ABatchOthersCouldChangeIsNotRead)
{
    const std::string open = folder.path + "/open";
    ::mkdir(open.c_str(), 0700);
    ::chmod(open.c_str(), 0777); // others may rename what is in it
    const std::string log = folder.path + "/log";
    const std::string batch = "SET FOO=" + log + "\r\nPGP.EXE +batchmode -kv > " + log + "\r\n";
    writeFile(open + "/Kestrova.bat", batch);
    auto result = runProcess(KESTROVA_COMMAND_PATH, {"/C", open + "/Kestrova.bat"}, "");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("another user"), std::string::npos) << result.err;

    writeFile(folder.path + "/Kestrova.bat", batch);
    ::chmod((folder.path + "/Kestrova.bat").c_str(), 0666);
    result = runProcess(KESTROVA_COMMAND_PATH, {"/C", folder.path + "/Kestrova.bat"}, "");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("only this user may change"), std::string::npos) << result.err;
    EXPECT_NE(::access(log.c_str(), F_OK), 0); // nothing of the batch ran
}

// Only a bare drive letter and ":" is a drive change; anything else ending in ":" is a line
// the batch language does not know.
TEST_F(KestrovaCommand, OnlyALetterAndAColonIsADriveChange)
{
    struct Row
    {
        const char* line;
        int status;
    } rows[] = {{"C:", 0}, {"d:", 0}, {"touch x :", 1}, {"x y:", 1}, {"CC:", 1}, {":", 1}};
    for (const auto& row : rows)
        EXPECT_EQ(runBatch(std::string(row.line) + "\r\n").exitStatus, row.status) << row.line;
}

} // namespace
