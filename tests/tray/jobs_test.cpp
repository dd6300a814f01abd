// kestrova-tray's GnuPG work and its socket protocol, with real gpg and keys made here.
#include "gpg_support.h"

#include "pgp/trayprotocol.h"
#include "tray/trayjobs.h"

#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>
#include <map>

namespace kestrova::tray {
namespace {

using test::GpgHome;

constexpr char kText[] = "拝啓\nお元気ですか。\n";

TEST(TrayCommandId, FollowsTheTableOfBothGenerations)
{
    struct Row
    {
        const char* name;
        int version;
        const char* word;
        int encryptMode;
        std::optional<int> id;
    } rows[] = {
        {"sign, 5.5.3i", 1, "sign", 0, 40018},
        {"sign, 6.5.1i", 2, "sign", 0, 40026},
        {"encrypt and sign, 5.5.3i", 1, "encrypt", 1, 40007},
        {"encrypt and sign, 6.5.1i", 2, "encrypt", 1, 40027},
        {"encrypt, 5.5.3i", 1, "encrypt", 0, 40017},
        {"encrypt, 6.5.1i", 2, "encrypt", 0, 40025},
        {"check, 5.5.3i", 1, "check", 0, 40008},
        {"check, 6.5.1i", 2, "check", 1, 40028},
        {"add, 5.5.3i", 1, "add", 0, 40006},
        {"add, 6.5.1i shares check's", 2, "add", 0, 40028},
        {"any other generation is 6.5.1i", 7, "sign", 0, 40026},
        {"pubkey has none", 1, "pubkey", 0, std::nullopt},
        {"finger has none", 2, "finger", 0, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(pgp::trayCommandId(row.version, row.word, row.encryptMode), row.id) << row.name;
}

TEST(TrayCommandOf, NamesTheTraysWorkForEveryIdentifier)
{
    using pgp::TrayCommand;
    struct Row
    {
        int id;
        std::optional<TrayCommand> command;
    } rows[] = {
        {40018, TrayCommand::Sign},           {40026, TrayCommand::Sign},
        {40017, TrayCommand::Encrypt},        {40025, TrayCommand::Encrypt},
        {40007, TrayCommand::EncryptAndSign}, {40027, TrayCommand::EncryptAndSign},
        {40008, TrayCommand::Check},          {40028, TrayCommand::CheckAndImport},
        {40006, TrayCommand::Import},         {40000, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(pgp::trayCommandOf(row.id), row.command) << row.id;
}

TEST(ParseTrayRequest, TakesOnlyWholeRequests)
{
    struct Row
    {
        const char* line;
        bool valid;
        bool topMost;
        int id;
    } rows[] = {
        {"command 40026", true, false, 40026}, {"topmost", true, true, 0},
        {"command ", false, false, 0},         {"command 40026x", false, false, 0},
        {"command  40026", false, false, 0},   {"Command 40026", false, false, 0},
        {"topmost now", false, false, 0},      {"", false, false, 0},
    };
    for (const Row& row : rows) {
        const auto request = pgp::parseTrayRequest(row.line);
        ASSERT_EQ(request.has_value(), row.valid) << row.line;
        if (request) {
            EXPECT_EQ(request->topMost, row.topMost) << row.line;
            EXPECT_EQ(request->id, row.id) << row.line;
        }
    }
}

// A home with two unprotected keys, so that gpg-agent needs no pinentry here.
class TrayJobs : public testing::Test
{
protected:
    void SetUp() override
    {
        alice = home.makeKey("Alice <alice@example.org>", "");
        bob = home.makeKey("Bob <bob@example.org>", "");
        gpg = trayGpgFromEnvironment();
        ASSERT_FALSE(gpg.program.empty());
        gpg.environment.push_back("GNUPGHOME=" + home.path);
    }

    GpgHome home{test::AgentCache::Defaults};
    std::string alice;
    std::string bob;
    TrayGpg gpg;
};

TEST_F(TrayJobs, ClearSignsWhatGpgVerifies)
{
    const JobResult signedText = clearSign(gpg, kText);
    ASSERT_TRUE(signedText.ok) << signedText.report;
    const auto verified = home.gpg({"--status-fd", "1", "--decrypt"}, signedText.output);
    EXPECT_EQ(verified.exitStatus, 0) << verified.err;
    EXPECT_NE(verified.out.find("[GNUPG:] GOODSIG"), std::string::npos);
    EXPECT_NE(verified.out.find(kText), std::string::npos);
}

TEST_F(TrayJobs, EncryptsToTheChosenRecipientOnly)
{
    const JobResult encrypted = encryptText(gpg, kText, {bob}, false);
    ASSERT_TRUE(encrypted.ok) << encrypted.report;
    EXPECT_NE(encrypted.report.find(test::grouped(bob)), std::string::npos);
    const auto listed = home.gpg({"--list-packets"}, encrypted.output);
    EXPECT_NE(listed.out.find("pubkey enc packet"), std::string::npos);
    const auto decrypted = home.gpg({"--decrypt"}, encrypted.output);
    EXPECT_EQ(decrypted.out, kText);

    const JobResult back = checkText(gpg, encrypted.output, false);
    ASSERT_TRUE(back.ok) << back.report;
    EXPECT_EQ(back.output, kText);
}

TEST_F(TrayJobs, EncryptsAndSignsInOneGo)
{
    const JobResult encrypted = encryptText(gpg, kText, {alice}, true);
    ASSERT_TRUE(encrypted.ok) << encrypted.report;
    const JobResult back = checkText(gpg, encrypted.output, false);
    ASSERT_TRUE(back.ok) << back.report;
    EXPECT_EQ(back.output, kText);
    EXPECT_NE(back.report.find("正しい署名: \"Alice <alice@example.org>\""), std::string::npos)
        << back.report;
}

TEST_F(TrayJobs, SaysWhoSignedWhenAndWithWhichKey)
{
    const auto signedText = home.gpg({"--clearsign", "-u", alice}, kText);
    const JobResult checked = checkText(gpg, signedText.out, false);
    ASSERT_TRUE(checked.ok) << checked.report;
    EXPECT_EQ(checked.output, kText);
    EXPECT_NE(checked.report.find("正しい署名: \"Alice <alice@example.org>\"、"), std::string::npos)
        << checked.report;
    EXPECT_NE(checked.report.find(test::grouped(alice)), std::string::npos) << checked.report;
}

TEST_F(TrayJobs, RefusesATamperedTextAndSaysSo)
{
    std::string signedText = home.gpg({"--clearsign", "-u", alice}, kText).out;
    const std::size_t at = signedText.find("お元気");
    ASSERT_NE(at, std::string::npos);
    signedText.replace(at, std::string("お元気").size(), "ご無事");
    const JobResult checked = checkText(gpg, signedText, false);
    EXPECT_FALSE(checked.ok);
    EXPECT_TRUE(checked.output.empty());
    EXPECT_NE(checked.report.find("不正な署名"), std::string::npos) << checked.report;
}

TEST_F(TrayJobs, GivesEachOfTwoSignaturesItsOwnLine)
{
    const auto signedText = home.gpg({"--clearsign", "-u", alice, "-u", bob}, kText);
    const JobResult checked = checkText(gpg, signedText.out, false);
    ASSERT_TRUE(checked.ok) << checked.report;
    const std::size_t first = checked.report.find("正しい署名: \"");
    ASSERT_NE(first, std::string::npos) << checked.report;
    const std::size_t second = checked.report.find("正しい署名: \"", first + 1);
    ASSERT_NE(second, std::string::npos) << checked.report;
    EXPECT_NE(checked.report.find('\n', first), std::string::npos);
    EXPECT_LT(checked.report.find('\n', first), second);
    EXPECT_NE(checked.report.find("Alice"), std::string::npos);
    EXPECT_NE(checked.report.find("Bob"), std::string::npos);
}

TEST_F(TrayJobs, ImportsKeysAndSaysWhich)
{
    GpgHome other;
    const std::string carol = other.makeKey("Carol <carol@example.org>", "");
    const std::string block = other.publicKey(carol);
    const JobResult added = importKeys(gpg, block);
    ASSERT_TRUE(added.ok) << added.report;
    EXPECT_NE(added.report.find("鍵を追加しました: " + test::grouped(carol)), std::string::npos)
        << added.report;
    const auto fingerprints = home.fingerprints();
    EXPECT_NE(std::find(fingerprints.begin(), fingerprints.end(), carol), fingerprints.end());

    const JobResult again = importKeys(gpg, "no keys here\n");
    EXPECT_FALSE(again.ok);
}

TEST_F(TrayJobs, CheckingAKeyBlockWithImportAddsItsKeys)
{
    GpgHome other;
    const std::string carol = other.makeKey("Carol <carol@example.org>", "");
    const std::string mail = "鍵を送ります。\n" + other.publicKey(carol);

    const JobResult checkedOnly = checkText(gpg, mail, false);
    EXPECT_FALSE(checkedOnly.ok);
    auto fingerprints = home.fingerprints();
    EXPECT_EQ(std::find(fingerprints.begin(), fingerprints.end(), carol), fingerprints.end());

    const JobResult checked = checkText(gpg, mail, true);
    ASSERT_TRUE(checked.ok) << checked.report;
    EXPECT_EQ(checked.output, mail); // nothing to decrypt: the text stays as it was
    fingerprints = home.fingerprints();
    EXPECT_NE(std::find(fingerprints.begin(), fingerprints.end(), carol), fingerprints.end());
    EXPECT_NE(checked.report.find(test::grouped(carol)), std::string::npos) << checked.report;
}

TEST_F(TrayJobs, NamesWhyAKeyCannotBeEncryptedTo)
{
    home.gpg({"--import"}, home.revocation(bob));
    const std::string old =
        home.makeKey("Old <old@example.org>", "", {"--faked-system-time", "20200101T000000"}, "1d");
    std::string why;
    const auto keys = listPublicKeys(gpg, &why);
    ASSERT_TRUE(keys) << why;
    const long long now = static_cast<long long>(std::time(nullptr));
    std::map<std::string, std::string> reasons;
    for (const pgp::Key& key : *keys)
        reasons[key.fingerprint] = whyNotUsable(key, now);
    EXPECT_EQ(reasons[alice], "");
    EXPECT_EQ(reasons[bob], "失効しています");
    EXPECT_EQ(reasons[old], "有効期限が切れています");
}

TEST_F(TrayJobs, ReportsAMissingSecretKeyInWords)
{
    GpgHome other;
    const std::string carol = other.makeKey("Carol <carol@example.org>", "");
    const auto encrypted =
        other.gpg({"--armor", "--trust-model", "always", "--encrypt", "-r", carol}, kText);
    const JobResult checked = checkText(gpg, encrypted.out, false);
    EXPECT_FALSE(checked.ok);
    EXPECT_NE(checked.report.find("秘密鍵がありません"), std::string::npos) << checked.report;
}

} // namespace
} // namespace kestrova::tray
