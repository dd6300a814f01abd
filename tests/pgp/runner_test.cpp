// The PGP.EXE path run for real: PgpBatchRun writes the work files and the batch, runs
// kestrova-command, which runs gpg with a throw-away home, and reads the results back.
#include "gpg_support.h"

#include "io/files.h"
#include "io/textcodec.h"
#include "pgp/batch.h"
#include "pgp/indent.h"
#include "pgp/secret.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace kestrova::pgp;
using kestrova::io::decodeUtf8;
using kestrova::io::encodeUtf8;
using kestrova::test::GpgHome;
using kestrova::test::grouped;
using kestrova::test::TempFolder;

// Every character the batch language treats specially, in a pass phrase that must still reach
// gpg exactly.
const std::string kAlicePass = "pa\"ss %PATH% > x & y | z";
const std::u16string kJapanese =
    u"こんにちは、世界。\r\n署名のテスト：①～㈱ ｶﾀｶﾅ\r\n\r\n終わり\r\n";
// Strict ISO-2022-JP mail carries no half-width katakana.
const std::u16string kJapaneseForJis =
    u"こんにちは、世界。\r\n署名のテスト：①～㈱ カタカナ\r\n\r\n終わり\r\n";

std::string narrow(std::u16string_view text) { return encodeUtf8(text); }

bool holds(std::u16string_view text, std::string_view piece)
{
    return narrow(text).find(piece) != std::string::npos;
}

class PgpRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        aliceFingerprint = home.makeKey("Alice <alice@example.org>", kAlicePass);
        bobFingerprint = home.makeKey("Bob <bob@example.org>", "");
        context.settings.PgpPath = decodeUtf8(home.path);
        context.settings.UserID = u"alice@example.org";
        context.settings.JisConvMode = 0;
        context.tempDir = temp.path;
        context.commandProgram = KESTROVA_COMMAND_PATH;
        hooks.InputPass = [this](std::u16string_view prompt) {
            prompts.emplace_back(prompt);
            return typedPass;
        };
        hooks.InputId = [this](std::u16string_view prompt) {
            prompts.emplace_back(prompt);
            return typedId;
        };
        hooks.run = [this](const std::vector<std::string>& arguments, WindowStyle style) {
            ++runs;
            lastStyle = style;
            return kestrova::test::runWatching(arguments, whileRunning) == 0;
        };
        hooks.View = [this](std::u16string_view title, std::u16string_view text) {
            EXPECT_EQ(title, kViewTitle);
            viewed += text;
            ++views;
        };
        hooks.message = [this](std::u16string_view text) { messages.emplace_back(text); };
    }

    // One command as the window gives it; afterwards no work file is left.
    PgpResult run(std::string_view word, std::u16string& text)
    {
        prompts.clear();
        messages.clear();
        viewed.clear();
        views = 0;
        runs = 0;
        const PgpResult result = PgpBatchRun(word, text, context, hooks);
        EXPECT_EQ(temp.names(), std::vector<std::string>{}) << "work files left behind";
        return result;
    }

    std::u16string signedText(const std::u16string& text)
    {
        std::u16string copy = text;
        typedPass = decodeUtf8(kAlicePass);
        EXPECT_EQ(run("sign", copy), PgpResult::Done);
        EXPECT_TRUE(holds(copy, "-----BEGIN PGP SIGNED MESSAGE-----")) << narrow(viewed);
        return copy;
    }

    GpgHome home;
    TempFolder temp;
    std::string aliceFingerprint;
    std::string bobFingerprint;
    BatchRunContext context;
    BatchRunHooks hooks;
    std::optional<std::u16string> typedPass;
    std::optional<std::u16string> typedId;
    std::function<void()> whileRunning;
    std::vector<std::u16string> prompts;
    std::vector<std::u16string> messages;
    std::u16string viewed;
    int views = 0;
    int runs = 0;
    WindowStyle lastStyle = WindowStyle::MinimizedNoFocus;
};

TEST_F(PgpRun, SignThenCheckGivesAGoodSignatureAndTheTextByteForByte)
{
    const std::u16string signedCopy = signedText(kJapanese);
    EXPECT_EQ(prompts, std::vector<std::u16string>{std::u16string(kPassPhrasePrompt)});
    EXPECT_TRUE(holds(viewed, "Signature made")) << narrow(viewed);
    EXPECT_TRUE(holds(viewed, grouped(aliceFingerprint))) << narrow(viewed);
    // gpg itself accepts what the mail will carry.
    EXPECT_EQ(home.gpg({"--verify"}, narrow(signedCopy)).exitStatus, 0);

    std::u16string text = signedCopy;
    typedPass = u"";
    EXPECT_EQ(run("check", text), PgpResult::Done);
    EXPECT_EQ(text, kJapanese);
    EXPECT_TRUE(holds(viewed, "Good signature from \"Alice <alice@example.org>\""))
        << narrow(viewed);
    EXPECT_TRUE(holds(viewed, grouped(aliceFingerprint))) << narrow(viewed);
}

TEST_F(PgpRun, ATextTamperedByOneCharacterIsReportedBadAndStaysAsItWas)
{
    std::u16string text = signedText(kJapanese);
    const std::size_t at = text.find(u"世界");
    ASSERT_NE(at, std::u16string::npos);
    text[at] = u'町';
    const std::u16string tampered = text;
    typedPass = u"";
    EXPECT_EQ(run("check", text), PgpResult::Failed);
    EXPECT_EQ(text, tampered);
    EXPECT_TRUE(holds(viewed, "BAD signature")) << narrow(viewed);
}

TEST_F(PgpRun, EncryptToTheOtherKeyThenCheckDecrypts)
{
    for (int encryptMode : {0, 1}) {
        SCOPED_TRACE(encryptMode);
        context.settings.EncryptMode = encryptMode;
        std::u16string text = kJapanese;
        typedPass = decodeUtf8(kAlicePass);
        typedId = u"bob@example.org";
        EXPECT_EQ(run("encrypt", text), PgpResult::Done);
        EXPECT_TRUE(holds(text, "-----BEGIN PGP MESSAGE-----")) << narrow(viewed);
        EXPECT_FALSE(holds(text, "世界"));
        std::vector<std::u16string> asked;
        if (encryptMode == 1)
            asked.emplace_back(kPassPhrasePrompt);
        asked.emplace_back(kRecipientPrompt);
        EXPECT_EQ(prompts, asked);
        EXPECT_TRUE(holds(viewed, grouped(bobFingerprint))) << narrow(viewed);

        typedPass = u""; // Bob's key has none
        EXPECT_EQ(run("check", text), PgpResult::Done);
        EXPECT_EQ(text, kJapanese) << narrow(viewed);
        EXPECT_TRUE(holds(viewed, "Decrypted")) << narrow(viewed);
        EXPECT_EQ(holds(viewed, "Good signature from \"Alice"), encryptMode == 1) << narrow(viewed);
    }
}

TEST_F(PgpRun, PubkeyAppendsAnArmouredKeyThatGpgImports)
{
    std::u16string text = u"鍵を送ります。\r\n";
    typedId = u"bob@example.org";
    EXPECT_EQ(run("pubkey", text), PgpResult::Done);
    ASSERT_TRUE(text.starts_with(u"鍵を送ります。\r\n\r\n-----BEGIN PGP PUBLIC KEY BLOCK-----"))
        << narrow(text);
    EXPECT_EQ(prompts, std::vector<std::u16string>{std::u16string(kPubKeyPrompt)});
    EXPECT_EQ(views, 1);

    GpgHome other;
    const auto imported =
        other.gpg({"--status-fd", "1", "--import"}, narrow(text.substr(text.find(u"-----"))));
    EXPECT_NE(imported.out.find("IMPORT_OK 1 " + bobFingerprint), std::string::npos)
        << imported.out << imported.err;
}

TEST_F(PgpRun, FingerAppendsTheFingerprintAndShowsNoViewer)
{
    std::u16string text = u"本文\r\n";
    typedId = u"alice";
    EXPECT_EQ(run("finger", text), PgpResult::Done);
    EXPECT_TRUE(text.starts_with(u"本文\r\n\r\n"));
    EXPECT_TRUE(holds(text, "Key fingerprint = " + grouped(aliceFingerprint))) << narrow(text);
    EXPECT_FALSE(holds(text, bobFingerprint.substr(0, 4) + " " + bobFingerprint.substr(4, 4)));
    EXPECT_EQ(views, 0);
}

TEST_F(PgpRun, AddImportsKeysAndRemoveDeletesOnlyAPublicKey)
{
    GpgHome other;
    const std::string carol = other.makeKey("Carol <carol@example.net>", "");
    const std::string armour = other.gpg({"--armor", "--export", carol}).out;
    std::u16string text = u"Carol の鍵:\r\n" + decodeUtf8(armour);
    const std::u16string before = text;
    EXPECT_EQ(run("add", text), PgpResult::Done);
    EXPECT_EQ(text, before);
    EXPECT_TRUE(holds(viewed, "New key added")) << narrow(viewed);
    EXPECT_TRUE(holds(viewed, grouped(carol))) << narrow(viewed);
    EXPECT_EQ(home.fingerprints().size(), 3u);

    std::u16string nothing;
    typedId = u"alice@example.org";
    EXPECT_EQ(run("remove", nothing), PgpResult::Failed);
    EXPECT_TRUE(holds(viewed, "has a secret key on the key ring, so it is not removed"))
        << narrow(viewed);
    EXPECT_TRUE(holds(viewed, "gpg --delete-secret-and-public-key " + aliceFingerprint))
        << narrow(viewed);
    EXPECT_EQ(home.fingerprints().size(), 3u);

    typedId = u"example"; // Alice, Bob and Carol
    EXPECT_EQ(run("remove", nothing), PgpResult::Failed);
    EXPECT_TRUE(holds(viewed, "matches 3 keys")) << narrow(viewed);
    EXPECT_EQ(home.fingerprints().size(), 3u);

    typedId = u"carol";
    EXPECT_EQ(run("remove", nothing), PgpResult::Done);
    EXPECT_TRUE(holds(viewed, "Key removed")) << narrow(viewed);
    EXPECT_EQ(home.fingerprints(), (std::vector<std::string>{aliceFingerprint, bobFingerprint}));
}

TEST_F(PgpRun, ViewListsTheKeyRing)
{
    std::u16string nothing;
    EXPECT_EQ(run("view", nothing), PgpResult::Done);
    EXPECT_TRUE(holds(viewed, "Alice <alice@example.org>")) << narrow(viewed);
    EXPECT_TRUE(holds(viewed, "Bob <bob@example.org>")) << narrow(viewed);
    EXPECT_TRUE(holds(viewed, "2 keys found.")) << narrow(viewed);
}

TEST_F(PgpRun, FailuresLeaveTheTextAndSayWhatWentWrong)
{
    struct Row
    {
        const char* name;
        const char* word;
        std::u16string text;
        std::u16string pass;
        std::u16string id;
        const char* said;
    } rows[] = {
        {"wrong pass phrase", "sign", kJapanese, u"wrong", u"", "Bad pass phrase."},
        {"missing key", "encrypt", kJapanese, u"", u"nobody@example.org",
         "No public key on the key ring matches \"nobody@example.org\""},
        {"ambiguous recipient", "encrypt", kJapanese, u"", u"example.org", "matches 2 keys"},
        {"damaged armour", "check",
         u"-----BEGIN PGP MESSAGE-----\r\n\r\nhQEMA8x+broken+armour+\r\n=AAAA\r\n"
         u"-----END PGP MESSAGE-----\r\n",
         u"", u"", "No plain text was written"},
        {"plain text to check", "check", kJapanese, u"", u"", "No PGP data found"},
        {"unknown signing key", "sign", kJapanese, u"x", u"", "No usable secret key"},
    };
    GpgHome other;
    const std::string carol = other.makeKey("Carol <carol@example.net>", "");
    const std::u16string toCarol = decodeUtf8(
        other
            .gpg({"--armor", "--trust-model", "always", "--encrypt", "--recipient", carol},
                 narrow(kJapanese))
            .out);
    const std::u16string toAlice = decodeUtf8(
        home.gpg({"--armor", "--encrypt", "--recipient", aliceFingerprint}, narrow(kJapanese)).out);
    ASSERT_FALSE(toCarol.empty());
    ASSERT_FALSE(toAlice.empty());
    const Row more[] = {
        {"encrypted for someone else", "check", toCarol, u"", u"", "No secret key"},
        {"wrong pass phrase to decrypt", "check", toAlice, u"wrong", u"", "Bad pass phrase."},
    };
    std::vector<Row> all(std::begin(rows), std::end(rows));
    all.insert(all.end(), std::begin(more), std::end(more));
    for (const auto& row : all) {
        SCOPED_TRACE(row.name);
        if (std::string(row.name) == "unknown signing key")
            context.settings.UserID = u"nobody@example.org";
        std::u16string text = row.text;
        typedPass = row.pass;
        typedId = row.id;
        EXPECT_EQ(run(row.word, text), PgpResult::Failed);
        EXPECT_EQ(text, row.text);
        EXPECT_TRUE(holds(viewed, row.said)) << narrow(viewed);
    }
}

TEST_F(PgpRun, EncryptionToAKeyThatCannotBeUsedIsRefusedWithTheReason)
{
    GpgHome other;
    const std::string carol = other.makeKey("Carol <carol@example.net>", "");
    const std::string old = other.makeKey("Old <old@example.net>", "",
                                          {"--faked-system-time", "20200101T000000!"}, "1y");
    const std::string gone = other.makeKey("Gone <gone@example.net>", "");
    for (const auto& key : {other.publicKey(carol), other.publicKey(old), other.publicKey(gone),
                            other.revocation(gone)})
        ASSERT_EQ(home.gpg({"--import"}, key).exitStatus, 0);

    struct Row
    {
        const char* id;
        std::string fingerprint;
        std::string reason;
        std::string advice;
    } rows[] = {
        {"carol", carol, "not known to be valid", "gpg --lsign-key " + carol},
        {"old@example.net", old, "the key is expired", "Ask its owner for a current key"},
        {"gone@example.net", gone, "the key is revoked", "Ask its owner for a current key"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        std::u16string text = kJapanese;
        typedId = decodeUtf8(row.id);
        EXPECT_EQ(run("encrypt", text), PgpResult::Failed);
        EXPECT_EQ(text, kJapanese);
        EXPECT_TRUE(holds(viewed, "Nothing encrypted")) << narrow(viewed);
        EXPECT_TRUE(holds(viewed, row.reason)) << narrow(viewed);
        EXPECT_TRUE(holds(viewed, grouped(row.fingerprint))) << narrow(viewed);
        EXPECT_TRUE(holds(viewed, row.advice)) << narrow(viewed);
    }
}

TEST_F(PgpRun, ASignatureFromAKeyNotOnTheRingIsSaidToBeUnchecked)
{
    GpgHome other;
    other.makeKey("Carol <carol@example.net>", "");
    const std::string signedByCarol = other.gpg({"--clearsign"}, narrow(kJapanese)).out;
    ASSERT_FALSE(signedByCarol.empty());
    std::u16string text = decodeUtf8(signedByCarol);
    typedPass = u"";
    EXPECT_EQ(run("check", text), PgpResult::Failed);
    EXPECT_TRUE(holds(viewed, "cannot be checked")) << narrow(viewed);
    EXPECT_TRUE(holds(viewed, "not on the key ring")) << narrow(viewed);
    EXPECT_FALSE(holds(viewed, "Good signature")) << narrow(viewed);
}

TEST_F(PgpRun, JisTextSurvivesSignAndCheckAndGpgAcceptsItsBytes)
{
    context.settings.JisConvMode = 7;
    const std::u16string signedCopy = signedText(kJapaneseForJis);
    auto jisBytes = kestrova::io::encodeText(signedCopy, kestrova::io::OutputCode::Jis, true);
    ASSERT_TRUE(jisBytes);
    EXPECT_NE(jisBytes->find("\x1b$B"), std::string::npos);
    EXPECT_EQ(home.gpg({"--verify"}, *jisBytes).exitStatus, 0);
    // The UTF-8 form is not what was signed.
    EXPECT_NE(home.gpg({"--verify"}, narrow(signedCopy)).exitStatus, 0);

    std::u16string text = signedCopy;
    typedPass = u"";
    EXPECT_EQ(run("check", text), PgpResult::Done);
    EXPECT_EQ(text, kJapaneseForJis);
    EXPECT_TRUE(holds(viewed, "covers the text in ISO-2022-JP")) << narrow(viewed);
}

TEST_F(PgpRun, EmojiIsRefusedInJisAndKeptInUtf8)
{
    const std::u16string withEmoji = u"絵文字 😀 です\r\n";
    context.settings.JisConvMode = 7;
    std::u16string text = withEmoji;
    typedPass = decodeUtf8(kAlicePass);
    EXPECT_EQ(run("sign", text), PgpResult::Cancelled);
    EXPECT_EQ(text, withEmoji);
    EXPECT_EQ(runs, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(holds(messages[0], "U+1F600")) << narrow(messages[0]);

    context.settings.JisConvMode = 0;
    text = signedText(withEmoji);
    typedPass = u"";
    EXPECT_EQ(run("check", text), PgpResult::Done);
    EXPECT_EQ(text, withEmoji);
}

TEST_F(PgpRun, AnIndentedSignedTextVerifiesAfterCutIndentAndComesBackIndented)
{
    std::u16string indented = signedText(kJapanese);
    AddIndent(indented, 4);
    // What PgpCommand does around "check".
    std::u16string text = indented;
    const int width = CutIndent(text);
    EXPECT_EQ(width, 4);
    typedPass = u"";
    EXPECT_EQ(run("check", text), PgpResult::Done);
    AddIndent(text, width);
    std::u16string expected = kJapanese;
    AddIndent(expected, 4);
    EXPECT_EQ(text, expected);
    EXPECT_TRUE(holds(viewed, "Good signature")) << narrow(viewed);
}

TEST_F(PgpRun, PgppassOfTheEnvironmentSuppliesThePassPhrase)
{
    context.environment.PGPPASS = kAlicePass;
    ::setenv("PGPPASS", kAlicePass.c_str(), 1);
    std::u16string text = kJapanese;
    const PgpResult result = run("sign", text);
    ::unsetenv("PGPPASS");
    EXPECT_EQ(result, PgpResult::Done);
    EXPECT_TRUE(prompts.empty());
    EXPECT_TRUE(holds(text, "-----BEGIN PGP SIGNATURE-----")) << narrow(viewed);
}

TEST_F(PgpRun, ACancelledPromptRunsNothingAndLeavesNoWorkFile)
{
    for (const char* word : {"sign", "encrypt", "pubkey", "finger", "remove"}) {
        SCOPED_TRACE(word);
        std::u16string text = kJapanese;
        typedPass.reset();
        typedId.reset();
        EXPECT_EQ(run(word, text), PgpResult::Cancelled);
        EXPECT_EQ(text, kJapanese);
        EXPECT_EQ(runs, 0);
    }
}

TEST_F(PgpRun, AMissingGpgIsSaidInWords)
{
    context.environment.PATH = "/nonexistent";
    std::u16string text = kJapanese;
    typedPass = u"x";
    EXPECT_EQ(run("sign", text), PgpResult::Cancelled);
    EXPECT_EQ(text, kJapanese);
    EXPECT_TRUE(prompts.empty()); // said before the pass phrase is asked for
    EXPECT_EQ(runs, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(holds(messages[0], "gpg (GnuPG)")) << narrow(messages[0]);
}

TEST_F(PgpRun, CommandOpensTheTerminalInThePgpFolderWithItsKeyRing)
{
    TempFolder logs;
    ::setenv("TERMINAL", STAND_IN_PATH, 1);
    ::setenv("STAND_IN_LOG", (logs.path + "/log").c_str(), 1);
    context.settings.TimeZone = u"JST-9";
    std::u16string text = kJapanese;
    const PgpResult result = run("command", text);
    ::unsetenv("TERMINAL");
    EXPECT_EQ(result, PgpResult::Done);
    EXPECT_EQ(text, kJapanese);
    EXPECT_EQ(views, 0);
    EXPECT_EQ(lastStyle, WindowStyle::NormalWithFocus);
    const std::string log = kestrova::test::readFile(logs.path + "/log");
    EXPECT_NE(log.find("cwd=" + home.path + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("GNUPGHOME=" + home.path + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("TZ=JST-9\n"), std::string::npos) << log;
}

// Security: the pass phrase never shows in a process's arguments or a file outside the
// private folder, and typed values cannot reach beyond their argument.
TEST_F(PgpRun, NoProcessArgumentListHoldsThePassPhraseWhileSigningAndDecrypting)
{
    int scans = 0;
    bool sawInterpreter = false;
    std::vector<std::string> leaks;
    std::vector<std::string> open; // work files others could read
    bool sawWorkFiles = false;
    whileRunning = [&] {
        ++scans;
        for (const auto& name : temp.names()) {
            sawWorkFiles = true;
            struct stat st
            {
            };
            if (::lstat((temp.path + "/" + name).c_str(), &st) == 0 && (st.st_mode & 077) != 0)
                open.push_back(name);
        }
        for (const auto& line : kestrova::test::commandLinesHolding("kestrova-command"))
            if (line.find("/C") != std::string::npos)
                sawInterpreter = true;
        for (auto& line : kestrova::test::commandLinesHolding(kAlicePass))
            leaks.push_back(line);
    };
    context.settings.EncryptMode = 1;
    std::u16string text = signedText(kJapanese);
    typedId = u"alice@example.org";
    typedPass = decodeUtf8(kAlicePass);
    EXPECT_EQ(run("encrypt", text), PgpResult::Done); // to Alice, signed by Alice
    EXPECT_EQ(run("check", text), PgpResult::Done);
    EXPECT_TRUE(holds(viewed, "Decrypted")) << narrow(viewed);
    whileRunning = nullptr;

    EXPECT_GT(scans, 3);
    EXPECT_TRUE(sawInterpreter);
    EXPECT_EQ(leaks, std::vector<std::string>{});
    EXPECT_TRUE(sawWorkFiles);
    EXPECT_EQ(open, std::vector<std::string>{});
    EXPECT_EQ(kestrova::test::filesHolding(home.path, kAlicePass), std::vector<std::string>{});
}

TEST_F(PgpRun, HostileUserIdsStayOneArgument)
{
    const std::string planted = temp.path + "/injected";
    const std::u16string hostile[] = {
        u"bob\" > " + decodeUtf8(planted) + u" & \"",
        u"x | tee " + decodeUtf8(planted),
        u"%PATH%\"\"",
        u"\" -kr \"alice",
    };
    for (const auto& id : hostile) {
        SCOPED_TRACE(narrow(id));
        std::u16string text = kJapanese;
        typedId = id;
        EXPECT_EQ(run("encrypt", text), PgpResult::Failed);
        EXPECT_EQ(text, kJapanese);
        // The front end was handed exactly the typed ID as one recipient.
        EXPECT_TRUE(holds(viewed, "matches \"" + narrow(id) + "\"")) << narrow(viewed);
        EXPECT_EQ(::access(planted.c_str(), F_OK), -1);
        EXPECT_EQ(home.fingerprints().size(), 2u);
    }
    std::u16string text = kJapanese;
    typedId = u"bob\r\nCOMMAND";
    EXPECT_EQ(run("encrypt", text), PgpResult::Cancelled);
    EXPECT_EQ(runs, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(holds(messages[0], "改行")) << narrow(messages[0]);
}

TEST_F(PgpRun, ALinkPlantedAtAWorkFileIsNeverFollowed)
{
    TempFolder elsewhere;
    const std::string victim = elsewhere.path + "/victim";
    kestrova::test::writeFile(victim, "keep me");
    for (const char* name : {"/Kestrova.ASC", "/Kestrova.out", "/Kestrova.tmp", "/Kestrova.bat"})
        ASSERT_EQ(::symlink(victim.c_str(), (temp.path + name).c_str()), 0);
    const std::u16string signedCopy = signedText(kJapanese);
    EXPECT_EQ(kestrova::test::readFile(victim), "keep me");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 7);
}

// gpg-agent at its own settings keeps a key unlocked after its first use; the pass phrase
// given for a later command must still be the one that counts.
TEST_F(PgpRun, AWrongPassPhraseIsRefusedEvenRightAfterACorrectOne)
{
    GpgHome cached(kestrova::test::AgentCache::Defaults);
    const std::string dora = cached.makeKey("Dora <dora@example.org>", kAlicePass);
    context.settings.PgpPath = decodeUtf8(cached.path);
    context.settings.UserID = u"dora@example.org";
    std::u16string text = kJapanese;
    typedPass = decodeUtf8(kAlicePass);
    ASSERT_EQ(run("sign", text), PgpResult::Done);
    ASSERT_TRUE(holds(text, "-----BEGIN PGP SIGNED MESSAGE-----")) << narrow(viewed);
    for (const std::u16string wrong : {u"wrong", u""}) {
        SCOPED_TRACE(narrow(wrong));
        std::u16string again = kJapanese;
        typedPass = wrong;
        EXPECT_EQ(run("sign", again), PgpResult::Failed);
        EXPECT_EQ(again, kJapanese) << narrow(viewed);
        EXPECT_TRUE(holds(viewed, "Bad pass phrase")) << narrow(viewed);
    }

    std::u16string secret = kJapanese;
    typedId = u"dora@example.org";
    ASSERT_EQ(run("encrypt", secret), PgpResult::Done);
    ASSERT_TRUE(holds(secret, "-----BEGIN PGP MESSAGE-----")) << narrow(viewed);
    std::u16string opened = secret;
    typedPass = decodeUtf8(kAlicePass);
    ASSERT_EQ(run("check", opened), PgpResult::Done);
    ASSERT_EQ(opened, kJapanese) << narrow(viewed);
    opened = secret;
    typedPass = u"wrong";
    EXPECT_EQ(run("check", opened), PgpResult::Failed);
    EXPECT_EQ(opened, secret) << narrow(viewed);
    EXPECT_TRUE(holds(viewed, "Bad pass phrase")) << narrow(viewed);

    // Nothing is left unlocked by Kestrova: gpg alone, with no pass phrase, cannot sign.
    const auto alone = cached.gpg({"--pinentry-mode", "error", "--clearsign", "-u", dora}, "x");
    EXPECT_NE(alone.exitStatus, 0) << alone.out;
}

// A recipient or key ID the user types is always a key to look for, never an option.
TEST_F(PgpRun, TypedIdsThatLookLikeOptionsAreOperands)
{
    GpgHome other;
    const std::string carol = other.makeKey("Carol <carol@example.net>", "");
    const std::u16string carolKey = decodeUtf8(other.gpg({"--armor", "--export", carol}).out);
    struct Row
    {
        const char* word;
        std::u16string id;
        std::u16string text;
    } rows[] = {
        {"encrypt", u"-ka", carolKey},  {"encrypt", u"-u", kJapanese},
        {"encrypt", u"-kr", kJapanese}, {"remove", u"-kv", u""},
        {"remove", u"+force", u""},     {"pubkey", u"-kv", u"本文\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.word) + " " + narrow(row.id));
        std::u16string text = row.text;
        typedId = row.id;
        EXPECT_EQ(run(row.word, text), PgpResult::Failed);
        EXPECT_EQ(text, row.text) << narrow(viewed);
        EXPECT_TRUE(holds(viewed, "matches \"" + narrow(row.id) + "\"")) << narrow(viewed);
        EXPECT_EQ(home.fingerprints().size(), 2u);
    }
}

// A text clear-signed by two keys: each signature is reported with its own key.
TEST_F(PgpRun, EachSignatureIsReportedWithItsOwnKey)
{
    TempFolder secretFolder;
    const std::string passFile = secretFolder.path + "/pass";
    kestrova::test::writeFile(passFile, kAlicePass);
    const auto made = home.gpg({"--pinentry-mode", "loopback", "--passphrase-file", passFile,
                                "--clearsign", "-u", aliceFingerprint, "-u", bobFingerprint},
                               narrow(kJapanese));
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    std::u16string text = decodeUtf8(made.out);
    typedPass = u"";
    EXPECT_EQ(run("check", text), PgpResult::Done);
    const std::string report = narrow(viewed);
    EXPECT_TRUE(holds(viewed, "with key " + grouped(aliceFingerprint))) << report;
    EXPECT_TRUE(holds(viewed, "with key " + grouped(bobFingerprint))) << report;
}

// Every clear-signed block of a text is checked; one bad block refuses the whole text, and text
// outside the blocks that is left out is said to be.
TEST_F(PgpRun, EveryClearSignedBlockIsChecked)
{
    const std::u16string first = signedText(u"一通目\r\n");
    const std::u16string second = signedText(u"二通目\r\n");
    std::u16string tampered = second;
    tampered[tampered.find(u"二通目")] = u'三';

    std::u16string bad = first + u"\r\n" + tampered;
    const std::u16string badBefore = bad;
    typedPass = u"";
    EXPECT_EQ(run("check", bad), PgpResult::Failed);
    EXPECT_EQ(bad, badBefore) << narrow(viewed);
    EXPECT_TRUE(holds(viewed, "BAD signature")) << narrow(viewed);

    std::u16string good = u"前書き\r\n\r\n" + first + u"\r\n" + second + u"署名の後\r\nおわり\r\n";
    EXPECT_EQ(run("check", good), PgpResult::Done);
    EXPECT_TRUE(holds(good, "一通目")) << narrow(good);
    EXPECT_TRUE(holds(good, "二通目")) << narrow(good);
    EXPECT_FALSE(holds(good, "前書き")) << narrow(good);
    EXPECT_TRUE(holds(viewed, "3 lines outside the signed blocks removed")) << narrow(viewed);
}

// A run the window did not see to its end left the pass phrase and plain text behind: the
// next run zeroes them before anything else, and so does the window's start.
TEST_F(PgpRun, LeftoverWorkFilesAreZeroedNotJustUnlinked)
{
    const char* names[] = {"Kestrova.bat", "Kestrova.tmp", "Kestrova.ASC", "Kestrova.out"};
    auto plant = [](const std::string& folder) {
        std::vector<int> open;
        for (const char* name : {"Kestrova.bat", "Kestrova.tmp", "Kestrova.ASC", "Kestrova.out"}) {
            const std::string path = folder + "/" + name;
            kestrova::test::writeFile(path, "-z\"left behind\"");
            ::chmod(path.c_str(), 0600);
            open.push_back(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        }
        return open;
    };
    auto expectZeroed = [&names](const std::vector<int>& open) {
        for (std::size_t i = 0; i < open.size(); ++i) {
            char bytes[15] = {};
            EXPECT_EQ(::pread(open[i], bytes, sizeof bytes, 0), 15) << names[i];
            EXPECT_EQ(std::string(bytes, 15), std::string(15, '\0')) << names[i];
            ::close(open[i]);
        }
    };
    std::vector<int> open = plant(temp.path);
    std::u16string text = u"";
    EXPECT_EQ(run("view", text), PgpResult::Done);
    expectZeroed(open);

    // The window's start: the same names in the private temporary folder.
    const char* oldTmp = std::getenv("TMP");
    const std::string savedTmp = oldTmp ? oldTmp : "";
    const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = oldRuntime ? oldRuntime : "";
    TempFolder base;
    ::setenv("TMP", base.path.c_str(), 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    const auto tempDir = kestrova::io::GetTempDir();
    ASSERT_TRUE(tempDir) << tempDir.error().reason;
    open = plant(*tempDir);
    wipeLeftoverWorkFiles();
    expectZeroed(open);
    for (const char* name : names)
        EXPECT_NE(::access((*tempDir + name).c_str(), F_OK), 0) << name;
    oldTmp ? ::setenv("TMP", savedTmp.c_str(), 1) : ::unsetenv("TMP");
    if (oldRuntime)
        ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
}

// Whether this process's writable memory holds needle anywhere. The needle is given masked
// (each byte XOR 0x5A), so that the search itself never puts it in memory.
bool memoryHolds(const std::string& maskedNeedle)
{
    std::ifstream maps("/proc/self/maps");
    const int mem = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (mem < 0)
        return false;
    constexpr std::size_t kChunk = 1 << 20;
    // A sanitizer's shadow memory is reserved by the terabyte and holds no heap data.
    constexpr unsigned long kLargest = 1ul << 32;
    bool found = false;
    std::vector<char> buffer(kChunk + maskedNeedle.size());
    for (std::string line; !found && std::getline(maps, line);) {
        unsigned long start = 0;
        unsigned long end = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, perms) != 3 || perms[0] != 'r' ||
            perms[1] != 'w' || end - start > kLargest)
            continue;
        // Chunks overlap by the needle's length, so that no match is cut in two.
        for (unsigned long at = start; !found && at < end; at += kChunk) {
            const std::size_t want =
                std::min<unsigned long>(kChunk + maskedNeedle.size(), end - at);
            const ssize_t got = ::pread(mem, buffer.data(), want, static_cast<off_t>(at));
            if (got <= 0)
                break;
            const std::size_t n = static_cast<std::size_t>(got);
            for (std::size_t i = 0; !found && i + maskedNeedle.size() <= n; ++i) {
                std::size_t k = 0;
                while (k < maskedNeedle.size() && (buffer[i + k] ^ 0x5A) == maskedNeedle[k])
                    ++k;
                found = k == maskedNeedle.size();
            }
        }
    }
    std::fill(buffer.begin(), buffer.end(), 0);
    ::close(mem);
    return found;
}

std::string masked(std::string_view bytes)
{
    std::string out;
    for (char c : bytes)
        out += static_cast<char>(c ^ 0x5A);
    return out;
}

// The UTF-16 form of masked ASCII, masked.
std::string maskedUtf16(const std::string& maskedAscii)
{
    std::string out;
    for (char c : maskedAscii) {
        out += c;
        out += static_cast<char>(0x5A);
    }
    return out;
}

// After signing, the window's memory holds the pass phrase nowhere: not as typed (UTF-16), not
// in a batch line, in neither code.
TEST_F(PgpRun, ThePassPhraseIsGoneFromMemoryAfterSigning)
{
    GpgHome own;
    // Long enough to live outside any string object; made here and nowhere else in clear.
    const std::string maskedPass = masked("Kv7-q9Zr-Lw4x-Tt2m-Pp8s-Hh3d-Nn5c-Qe0u");
    {
        std::string clear;
        for (char c : maskedPass)
            clear += static_cast<char>(c ^ 0x5A);
        (void)own.makeKey("Erin <erin@example.org>", clear);
        kestrova::pgp::wipeString(clear);
    }
    context.settings.PgpPath = decodeUtf8(own.path);
    context.settings.UserID = u"erin@example.org";
    hooks.InputPass = [&maskedPass](std::u16string_view) {
        std::optional<std::u16string> typed(std::in_place);
        typed->reserve(maskedPass.size());
        for (char c : maskedPass)
            typed->push_back(static_cast<char16_t>(c ^ 0x5A));
        return typed;
    };
    std::u16string text = kJapanese;
    ASSERT_EQ(run("sign", text), PgpResult::Done);
    ASSERT_TRUE(holds(text, "-----BEGIN PGP SIGNED MESSAGE-----")) << narrow(viewed);

    const std::string maskedLine = masked("-z\"") + maskedPass + masked("\"");
    EXPECT_FALSE(memoryHolds(maskedUtf16(maskedPass))) << "the typed pass phrase";
    EXPECT_FALSE(memoryHolds(maskedLine)) << "the batch line, UTF-8";
    EXPECT_FALSE(memoryHolds(maskedUtf16(maskedLine))) << "the batch line, UTF-16";
}

// The work folder is held open for the run: a folder put in its place while a dialog is open
// gets nothing, the one moved away keeps nothing, and the batch is not started.
TEST_F(PgpRun, AWorkFolderSwappedDuringTheDialogIsNoticedAndNothingRuns)
{
    const std::string moved = temp.path + ".was";
    hooks.InputPass = [&](std::u16string_view) {
        EXPECT_EQ(::rename(temp.path.c_str(), moved.c_str()), 0);
        EXPECT_EQ(::mkdir(temp.path.c_str(), 0700), 0);
        return std::optional<std::u16string>(decodeUtf8(kAlicePass));
    };
    std::u16string text = kJapanese;
    EXPECT_EQ(run("sign", text), PgpResult::Cancelled);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(text, kJapanese);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(holds(messages[0], "moved or replaced")) << narrow(messages[0]);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(moved))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{});
    std::filesystem::remove_all(moved);
}

// The work files have fixed names: while one window runs a command, another window's command
// is refused and its start wipes nothing.
TEST_F(PgpRun, OnlyOneRunAtATimeUsesTheWorkFolder)
{
    const WorkFolder running(temp.path);
    ASSERT_TRUE(running.opened());
    ASSERT_TRUE(running.lock());
    kestrova::test::writeFile(temp.path + "/Kestrova.bat", "in use");
    std::u16string text = kJapanese;
    EXPECT_EQ(PgpBatchRun("view", text, context, hooks), PgpResult::Cancelled);
    EXPECT_EQ(runs, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(holds(messages[0], "実行中")) << narrow(messages[0]);
    EXPECT_EQ(kestrova::test::readFile(temp.path + "/Kestrova.bat"), "in use");
    ::unlink((temp.path + "/Kestrova.bat").c_str());
}

// A throw-away user of this machine, made for one test; root only.
class OtherUser
{
public:
    OtherUser()
        : name("kswap" + std::to_string(::getpid()))
    {
        made = kestrova::test::runProcess("/usr/sbin/useradd", {"-M", "-N", "-r", name}, "")
                   .exitStatus == 0;
    }
    ~OtherUser()
    {
        if (made)
            (void)kestrova::test::runProcess("/usr/sbin/userdel", {name}, "");
    }
    OtherUser(const OtherUser&) = delete;
    OtherUser& operator=(const OtherUser&) = delete;
    // Runs argv as this user; its exit status.
    int run(const std::vector<std::string>& argv) const
    {
        std::vector<std::string> all = {"-u", name, "--"};
        all.insert(all.end(), argv.begin(), argv.end());
        return kestrova::test::runProcess("/usr/sbin/runuser", all, "").exitStatus;
    }
    std::string name;
    bool made = false;
};

// TMP names a folder everyone may write without the sticky bit: while the window waits, another
// user must not be able to move the private folder away and put one of theirs in its place.
TEST_F(PgpRun, AnotherUserCannotSwapTheWorkFolderDuringARun)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "making a second user needs root (CI runs as root)";
    OtherUser other;
    if (!other.made)
        GTEST_SKIP() << "useradd could not make a throw-away user here";
    TempFolder open;
    ::chmod(open.path.c_str(), 0777);
    TempFolder safe; // where the work folder belongs instead (0700, under the sticky /tmp)
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    for (const char* name : {"TMP", "TMPDIR", "XDG_RUNTIME_DIR"}) {
        const char* value = std::getenv(name);
        saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    ::setenv("TMP", open.path.c_str(), 1);
    ::setenv("TMPDIR", safe.path.c_str(), 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    context.tempDir.clear();

    int moved = -1;
    std::string workFolder;
    hooks.run = [&](const std::vector<std::string>& arguments, WindowStyle) {
        ++runs;
        workFolder = arguments.back().substr(0, arguments.back().rfind('/'));
        moved = other.run({"/bin/mv", workFolder, workFolder + ".theirs"});
        return kestrova::test::runWatching(arguments, nullptr) == 0;
    };
    std::u16string text = kJapanese;
    typedPass = decodeUtf8(kAlicePass);
    const PgpResult result = PgpBatchRun("sign", text, context, hooks);
    for (const auto& [name, value] : saved)
        value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());

    EXPECT_EQ(result, PgpResult::Done);
    EXPECT_FALSE(workFolder.starts_with(open.path)) << workFolder;
    EXPECT_NE(moved, 0) << "the other user moved " << workFolder;
    EXPECT_TRUE(holds(text, "-----BEGIN PGP SIGNED MESSAGE-----")) << narrow(viewed);
}

} // namespace
