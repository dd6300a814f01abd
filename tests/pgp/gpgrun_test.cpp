#include "pgp/gpgrun.h"

#include <chrono>
#include <gtest/gtest.h>

namespace {

using namespace kestrova::pgp;

TEST(ParseStatus, TakesOnlyStatusLinesAndSplitsTheirWords)
{
    const auto lines = parseStatus("[GNUPG:] GOODSIG 0123 Alice <a@example.org>\n"
                                   "gpg: not a status line\n"
                                   "[GNUPG:] NEWSIG\n"
                                   "[GNUPG:] IMPORT_OK 1 ABCD");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].keyword, "GOODSIG");
    EXPECT_EQ(lines[0].args, (std::vector<std::string>{"0123", "Alice", "<a@example.org>"}));
    EXPECT_EQ(lines[1].keyword, "NEWSIG");
    EXPECT_TRUE(lines[1].args.empty());
    EXPECT_EQ(lines[2].args, (std::vector<std::string>{"1", "ABCD"}));
}

TEST(FindProgram, SearchesAbsoluteEntriesOnly)
{
    EXPECT_EQ(findProgram("sh", "relative:/nonexistent:/bin"), "/bin/sh");
    EXPECT_EQ(findProgram("sh", "."), "");
    EXPECT_EQ(findProgram("no-such-program-here", "/bin:/usr/bin"), "");
}

TEST(RunGpg, EndsAProgramThatOutlivesItsTimeLimit)
{
    GpgCall call;
    call.program = "/bin/sleep";
    call.arguments = {"30"};
    call.timeLimit = std::chrono::milliseconds(200);
    const auto start = std::chrono::steady_clock::now();
    const GpgReply reply = runGpg(call);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(reply.started);
    EXPECT_TRUE(reply.timedOut);
    EXPECT_EQ(reply.exitStatus, -1);
}

TEST(RunGpg, StopsWhenTheFlagIsSet)
{
    volatile std::sig_atomic_t stop = 1;
    GpgCall call;
    call.program = "/bin/sleep";
    call.arguments = {"30"};
    call.stop = &stop;
    const GpgReply reply = runGpg(call);
    EXPECT_TRUE(reply.stopped);
    EXPECT_FALSE(reply.timedOut);
}

TEST(RunGpg, FeedsInputAndThePassPhrasePipeAndCollectsAllOutputs)
{
    // cat copies its input; the pass phrase descriptor is readable as /dev/fd/4.
    GpgCall call;
    call.program = "/bin/cat";
    call.arguments = {"-", "/dev/fd/4"};
    const std::string input(200000, 'x'); // more than a pipe holds
    call.input = input;
    call.passPhrase = "secret";
    const GpgReply reply = runGpg(call);
    EXPECT_EQ(reply.exitStatus, 0) << reply.err;
    EXPECT_EQ(reply.out, std::string(200000, 'x') + "secret\n");
}

TEST(RunGpg, SaysWhyAProgramCannotStart)
{
    GpgCall call;
    call.program = "/nonexistent/gpg";
    const GpgReply reply = runGpg(call);
    EXPECT_FALSE(reply.started);
    EXPECT_FALSE(reply.startError.empty());
}

} // namespace
