// kestrova-cli's contract under every fault: exit status 0 only with the whole result written;
// 2 with one line on standard error and nothing on standard output, whenever the fault is
// found; 1 when standard output fails.
#include "cli_fixtures.h"
#include "filter.h"
#include "run_process.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrova::test {
namespace {

const std::string kCli = KESTROVA_CLI_PATH;

void expectOneLineRefusal(const ProcessResult& r, const std::string& mentioned)
{
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_TRUE(r.out.empty()) << r.out.size() << " bytes written before the refusal";
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find(mentioned), std::string::npos) << r.err;
}

// Lines of Japanese prose, about size bytes in all.
std::string prose(std::size_t size, const std::string& line)
{
    std::string text;
    text.reserve(size + line.size());
    while (text.size() < size)
        text += line;
    return text;
}

// Whatever moment the memory runs out, the result is whole or refused: never an abort, never
// part of the output before the message.
TEST(CliContract, MemoryRunningOutIsARefusalAtAnyMoment)
{
    if (cliRunsUnderAddressSanitizer())
        GTEST_SKIP() << "an address-space limit does not work under AddressSanitizer";
    TempFolder folder;
    const std::string twoHalves = folder.path + "/two-halves.txt";
    writeFile(twoHalves, prose(16000000, "これは日本語の文章です。abc\n"));
    // Output beyond what is held back, then a line that alone takes more than the memory left.
    const std::string longLineLate = folder.path + "/long-line-late.txt";
    writeFile(longLineLate,
              prose(24u << 20, "これは長い日本語の文章です。quoted ｶﾀｶﾅ and words to fold.\n") +
                  prose(9u << 20, "あ") + "\n");
    const struct
    {
        const char* name;
        std::vector<std::string> args;
        std::size_t addressSpace;
    } rows[] = {
        {"ConvertInTwoThreads", {"convert", "--to", "sjis", twoHalves}, 80u << 20},
        {"ConvertInTwoThreadsWithLess", {"convert", "--to", "sjis", twoHalves}, 64u << 20},
        {"ConvertToUtf8InTwoThreads", {"convert", "--to", "utf8", twoHalves}, 80u << 20},
        {"LongLineAfterTheHeldOutput", {"align", longLineLate}, 140u << 20},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ProcessLimits limits;
        limits.addressSpace = row.addressSpace;
        const ProcessResult r = runProcess(kCli, row.args, {}, limits);
        if (r.exitStatus == 0)
            EXPECT_TRUE(r.out == runProcess(kCli, row.args, {}).out) << "the output differs";
        else
            expectOneLineRefusal(r, "too large for the memory available");
    }
}

// A character found late in a large input is named with its line, in memory that does not
// grow with the input: the refusal is worded by a pass that keeps nothing.
TEST(CliContract, ARefusalLateInALargeInputNamesTheCharacterInBoundedMemory)
{
    if (cliRunsUnderAddressSanitizer())
        GTEST_SKIP() << "an address-space limit does not work under AddressSanitizer";
    TempFolder folder;
    const std::string file = folder.path + "/input.txt";
    const std::string text = prose(48u << 20, "これは日本語の文章です。quoted ｶﾀｶﾅ and words.\n");
    const std::string line = std::to_string(std::count(text.begin(), text.end(), '\n') + 1);
    writeFile(file, text + "😀\n");
    ProcessLimits limits;
    limits.addressSpace = 120u << 20; // the mapped input and a little more
    const struct
    {
        const char* name;
        std::vector<std::string> args;
        const char* code;
    } rows[] = {
        {"Convert", {"convert", "--to", "sjis", file}, "Shift_JIS"},
        {"Align", {"align", "--output-code", "euc", file}, "EUC-JP"},
        {"Quote", {"quote", "--output-code", "jis", file}, "ISO-2022-JP"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        expectOneLineRefusal(runProcess(kCli, row.args, {}, limits),
                             "line " + line + ": U+1F600 has no form in " + row.code);
    }
}

// Bytes that are no character, found late in a large input, are named with their line and
// bytes as in a small one, in memory that does not grow with the input.
TEST(CliContract, BadBytesLateInALargeInputAreNamedInBoundedMemory)
{
    if (cliRunsUnderAddressSanitizer())
        GTEST_SKIP() << "an address-space limit does not work under AddressSanitizer";
    TempFolder folder;
    const std::string file = folder.path + "/input.txt";
    const std::string line = "これは日本語の文章です。quoted ｶﾀｶﾅ and words.\n";
    const struct
    {
        const char* name;
        const char* code; // of the prose before the bad bytes
        const char* badLine;
        std::vector<std::string> args;
        const char* named;
    } rows[] = {
        {"BrokenUtf8", "utf8", "abc\xFF\n", {"align", file}, "byte 0xFF is"},
        {"ShiftJisPairOfNoCharacter", "sjis", "\x85\x40\n", {"quote", file}, "bytes 0x85 0x40 are"},
        {"EscapeLeftInJis",
         "jis",
         "\x1B$B$3\xFF\x1B(B\n",
         {"convert", "--to", "utf8", file},
         "byte 0x1B is"},
        {"EucPairOutsideJisX0208", "euc", "\xF5\xA1\n", {"align", file}, "bytes 0xF5 0xA1 are"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string encoded = runProcess(kCli, {"convert", "--to", row.code}, line).out;
        ASSERT_FALSE(encoded.empty());
        const std::string text = prose(48u << 20, encoded);
        const auto lines = std::count(text.begin(), text.end(), '\n');
        writeFile(file, text + row.badLine);
        ProcessLimits limits;
        limits.addressSpace = 140u << 20; // the mapped input and the output held back
        expectOneLineRefusal(runProcess(kCli, row.args, {}, limits),
                             "line " + std::to_string(lines + 1) + ": " + row.named +
                                 " not a character of UTF-8, JIS, EUC-JP or Shift_JIS");
    }
}

// kestrova-cli as a child process on a file that the schedule changes once: when a pass over
// the input has reached position after, at the first position reported behind it, where the
// next pass reads.
struct ScheduledChange
{
    std::size_t after;
    std::function<void(const std::string& file)> change;
};

ProcessResult filterWithChange(const std::vector<std::string>& args, const std::string& folder,
                               const ScheduledChange& schedule)
{
    const std::string outFile = folder + "/stdout";
    const std::string errFile = folder + "/stderr";
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // The child ends with _exit: the test's own state is the parent's to clean up.
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0)
            _exit(99);
        const cli::ParseResult parsed = cli::parseOptions(args);
        bool changed = false;
        bool due = false;
        const int status = cli::runFilter(parsed.options, [&](std::size_t upTo) {
            due = due || upTo >= schedule.after;
            if (due && !changed && upTo < schedule.after) {
                changed = true;
                schedule.change(parsed.options.file);
            }
        });
        std::fflush(nullptr);
        _exit(status);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ProcessResult r;
    r.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = fileBytes(outFile);
    r.err = fileBytes(errFile);
    return r;
}

void overwrite(const std::string& file, off_t at, const std::string& bytes)
{
    const int fd = ::open(file.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), at), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// A file the caller wrote a while ago, as a file an editor saves while kestrova-cli reads it.
void dateBack(const std::string& file)
{
    const timespec long_ago[2] = {{978307200, 0}, {978307200, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), long_ago, 0), 0);
}

TEST(CliContract, AFileChangedWhileItIsReadGivesNoResult)
{
    TempFolder folder;
    // Shift_JIS of exactly 1024 pages: a byte read past the end of the last is past the mapping.
    const std::string sjisPages = [] {
        std::string text;
        while (text.size() < (4u << 20) - 64)
            text += "\x82\xb1\x82\xea\x82\xcd\x93\xfa\x96\x7b\x8c\xea\x82\xc5\x82\xb7\x81\x42\n";
        text += std::string((4u << 20) - text.size() - 1, 'a');
        return text + "\n";
    }();
    const std::string utf8Large =
        prose(24u << 20, "これは長い日本語の文章です。quoted ｶﾀｶﾅ and words to fold.\n");
    // The passes that check a Shift_JIS input before the work report every megabyte.
    const std::size_t checkedWhole = 3u << 20;
    // Past the output held back, the rest of the input is checked before the work goes on:
    // changed then, the input is read again where the work stands.
    const std::size_t checkedAhead = 22u << 20;
    const struct
    {
        const char* name;
        const std::string& text;
        std::vector<std::string> args;
        ScheduledChange schedule;
        const char* mentioned;
    } rows[] = {
        {"LoneLeadByteWrittenAtTheEndAfterTheCheck",
         sjisPages,
         {"quote"},
         {checkedWhole, [&](const std::string& f) { overwrite(f, sjisPages.size() - 1, "\x82"); }},
         "changed while it was read"},
        {"MiddleOverwrittenAfterTheCheck",
         sjisPages,
         {"align"},
         {checkedWhole,
          [&](const std::string& f) { overwrite(f, 1u << 20, std::string(1u << 20, 0)); }},
         "changed while it was read"},
        {"ShrinksAfterTheHeldOutputWasChecked",
         utf8Large,
         {"align"},
         {checkedAhead, [&](const std::string& f) { ASSERT_EQ(truncate(f.c_str(), 8u << 20), 0); }},
         "shrank while it was read"},
        {"MiddleOverwrittenAfterTheHeldOutputWasChecked",
         utf8Large,
         {"quote"},
         {checkedAhead,
          [&](const std::string& f) { overwrite(f, 20u << 20, std::string(1u << 20, 'x')); }},
         "changed while it was read"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string file = folder.path + "/input.txt";
        writeFile(file, row.text);
        dateBack(file);
        auto args = row.args;
        args.push_back(file);
        const auto r = filterWithChange(args, folder.path, row.schedule);
        expectOneLineRefusal(r, row.mentioned);
    }
}

// Through a shell: $0 is kestrova-cli, $1 a file of three lines.
ProcessResult shell(const std::string& script, const std::string& file)
{
    return runProcess("/bin/sh", {"-c", script, kCli, file}, {});
}

TEST(CliContract, StandardInputIsReadFromWhereItStands)
{
    TempFolder folder;
    const std::string three = folder.path + "/three.txt";
    writeFile(three, "one\ntwo\nthree\n");
    const struct
    {
        const char* name;
        const char* script;
        int exitStatus;
        std::string out;
        std::string err;
    } rows[] = {
        {"AfterALineReadByAnother", "{ head -n 1 >/dev/null; \"$0\" quote; } < \"$1\"", 0,
         "≫two\n≫three\n", ""},
        {"LeftAtItsEndForTheNextReader", "{ \"$0\" quote; cat; } < \"$1\"", 0,
         "≫one\n≫two\n≫three\n", ""},
        {"ClosedIsNoEmptyInput", "\"$0\" quote <&-", 2, "",
         "kestrova-cli: cannot read standard input: Bad file descriptor\n"},
        {"AFolderIsNamedAsOtherInputIs", "\"$0\" quote < /", 2, "",
         "kestrova-cli: cannot read standard input: it is a folder\n"},
        {"ClosedOutputIsAFailedWrite", "\"$0\" quote \"$1\" >&-", 1, "",
         "kestrova-cli: cannot write the output: Bad file descriptor\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = shell(row.script, three);
        EXPECT_EQ(r.exitStatus, row.exitStatus);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, row.err);
    }
}

TEST(CliContract, ARefusalIsOneLineWhateverTheOptions)
{
    const auto r = runProcess(kCli, {"convert", "--to", "sjis", "--report"}, "a\n😀\n");
    expectOneLineRefusal(r, "line 2: U+1F600 has no form in Shift_JIS");
    const auto done = runProcess(kCli, {"convert", "--to", "sjis", "--report"}, "あ\n");
    EXPECT_EQ(done.exitStatus, 0);
    EXPECT_EQ(done.err, "result=11\n");
}

// A standard output that is full says so with EAGAIN: kestrova-cli waits for room, as a
// blocking one would make it.
TEST(CliContract, WaitsForRoomInANonBlockingStandardOutput)
{
    TempFolder folder;
    const std::string file = folder.path + "/input.txt";
    writeFile(file, prose(1u << 20, "これは日本語の文章です。abc\n"));
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    ASSERT_EQ(fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK), 0);
    const std::string errFile = folder.path + "/stderr";
    const char* argv[] = {kCli.c_str(), "quote", file.c_str(), nullptr};
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err < 0 || dup2(pipeEnds[1], STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0)
            _exit(99);
        ::close(pipeEnds[0]);
        execve(argv[0], const_cast<char**>(argv), environ);
        _exit(98);
    }
    ::close(pipeEnds[1]);
    // Nothing is read before the pipe is full, so that the writer finds it full at least once.
    const int capacity = fcntl(pipeEnds[0], F_GETPIPE_SZ);
    int queued = 0;
    for (int waited = 0; queued < capacity && waited < 120000; waited += 10) {
        ASSERT_EQ(ioctl(pipeEnds[0], FIONREAD, &queued), 0);
        if (queued < capacity)
            usleep(10000);
    }
    EXPECT_EQ(queued, capacity);
    std::string out;
    char block[65536];
    for (ssize_t n; (n = ::read(pipeEnds[0], block, sizeof block)) > 0;)
        out.append(block, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << fileBytes(errFile);
    EXPECT_TRUE(out == runProcess(kCli, {"quote", file}, {}).out) << "the output differs";
}

} // namespace
} // namespace kestrova::test
