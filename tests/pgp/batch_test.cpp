#include "io/textcodec.h"
#include "pgp/batch.h"
#include "pgp/batchlang.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

using namespace kestrova::pgp;

const std::string kTemp = "/tmp/kt/";
const std::string I = "/tmp/kt/Kestrova.tmp";
const std::string A = "/tmp/kt/Kestrova.ASC";
const std::string O = "/tmp/kt/Kestrova.out";
const std::string kHeader = "@ECHO OFF\r\nrem kestrova DOS Command batch file.\r\n\r\n";

// A real folder for the PGP folder setting: it must exist to be used.
class PgpFolder
{
public:
    PgpFolder()
    {
        char pattern[] = "/tmp/kp.XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~PgpFolder() { std::filesystem::remove_all(path); }
    PgpFolder(const PgpFolder&) = delete;
    PgpFolder& operator=(const PgpFolder&) = delete;
    std::string path;
};

std::u16string u16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

struct BatchRow
{
    const char* name;
    std::string word;
    PgpSettings settings;
    ProgramEnvironment environment;
    std::u16string asked; // what InputPass gives
    std::u16string id;    // what InputId gives
    std::string lines;    // after the header
};

TEST(BuildBatchText, WritesTheExactLinesOfEveryWord)
{
    PgpFolder folder;
    const std::string G = folder.path;
    PgpSettings configured;
    configured.UserID = u"Alice";
    configured.PassPhrase = u"pass word";
    configured.PgpPath = u16(G);
    PgpSettings bare;
    PgpSettings signing = configured;
    signing.EncryptMode = 1;
    PgpSettings zoned = bare;
    zoned.TimeZone = u"JST-9";
    const ProgramEnvironment noEnv;
    const ProgramEnvironment passEnv{"", "from env", ""};
    const std::string pgpLines = "SET PGPPATH=" + G + "\r\nSET PATH=" + G + ";%PATH%\r\n";

    const BatchRow rows[] = {
        {"sign with user ID, pass phrase and PGP folder", "sign", configured, noEnv, u"", u"",
         pgpLines + "PGP.EXE +batchmode +force -z\"pass word\" -sat " + I + " -u \"Alice\" > " + O +
             "\r\n"},
        {"sign with PGPPASS and no pass phrase: no -z", "sign", bare, passEnv, u"", u"",
         "PGP.EXE +batchmode +force -sat " + I + " > " + O + "\r\n"},
        {"sign with both: PGPPASS emptied first", "sign", configured, passEnv, u"", u"",
         pgpLines + "SET PGPPASS=\r\nPGP.EXE +batchmode +force -z\"pass word\" -sat " + I +
             " -u \"Alice\" > " + O + "\r\n"},
        {"sign with neither: the asked pass phrase", "sign", bare, noEnv, u"typed", u"",
         "PGP.EXE +batchmode +force -z\"typed\" -sat " + I + " > " + O + "\r\n"},
        {"sign with an empty asked pass phrase", "sign", bare, noEnv, u"", u"",
         "PGP.EXE +batchmode +force -z\"\" -sat " + I + " > " + O + "\r\n"},
        {"time zone first", "sign", zoned, passEnv, u"", u"",
         "SET TZ=JST-9\r\nPGP.EXE +batchmode +force -sat " + I + " > " + O + "\r\n"},
        {"encrypt never uses the pass phrase", "encrypt", configured, noEnv, u"", u"Bob",
         pgpLines + "PGP.EXE +batchmode +force -ea " + I + " \"Bob\" -u \"Alice\" > " + O + "\r\n"},
        {"encrypt and sign", "encrypt", signing, noEnv, u"", u"Bob",
         pgpLines + "PGP.EXE +batchmode +force -z\"pass word\" -sea " + I +
             " \"Bob\" -u \"Alice\" > " + O + "\r\n"},
        {"encrypt and sign with PGPPASS", "encrypt",
         [] {
             PgpSettings s;
             s.EncryptMode = 1;
             return s;
         }(),
         passEnv, u"", u"Bob", "PGP.EXE +batchmode +force -sea " + I + " \"Bob\" > " + O + "\r\n"},
        {"check", "check", configured, noEnv, u"", u"",
         pgpLines + "PGP.EXE +batchmode +force -z\"pass word\" " + I + " -o " + A + " > " + O +
             "\r\n"},
        {"check with PGPPASS", "check", bare, passEnv, u"", u"",
         "PGP.EXE +batchmode +force " + I + " -o " + A + " > " + O + "\r\n"},
        {"pubkey", "pubkey", bare, noEnv, u"", u"Bob",
         "PGP.EXE +batchmode +force -kxa \"Bob\" " + A + " > " + O + "\r\n"},
        {"finger lists into the PGP output", "finger", bare, noEnv, u"", u"Bob",
         "PGP.EXE +batchmode +force -kvc \"Bob\" > " + A + "\r\n"},
        {"add has no +force", "add", configured, noEnv, u"", u"",
         pgpLines + "PGP.EXE +batchmode -ka " + I + " > " + O + "\r\n"},
        {"remove with an empty ID", "remove", bare, noEnv, u"", u"",
         "PGP.EXE +batchmode +force -kr \"\" > " + O + "\r\n"},
        {"view", "view", bare, noEnv, u"", u"", "PGP.EXE +batchmode +force -kv > " + O + "\r\n"},
        {"command with a PGP folder", "command", configured, noEnv, u"", u"",
         pgpLines + "CD " + G + "\r\nCOMMAND\r\n"},
        {"command with PGPPATH of the environment", "command", bare, ProgramEnvironment{G, "", ""},
         u"", u"", "CD " + G + "\r\nCOMMAND\r\n"},
        {"command with neither", "command", zoned, noEnv, u"", u"", "SET TZ=JST-9\r\nCOMMAND\r\n"},
        {"an unknown word writes no command line", "shred", configured, noEnv, u"", u"", pgpLines},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const BatchPlan plan = planBatchRun(row.word, row.settings, {}, row.environment, kTemp);
        const BatchText batch = buildBatchText(plan, "kestrova", row.asked, row.id);
        EXPECT_TRUE(batch.refusal.empty());
        EXPECT_EQ(view(batch.text), kHeader + row.lines);
    }
}

TEST(PlanBatchRun, AsksWhatEachWordNeedsAndKnowsItsResult)
{
    struct Row
    {
        std::string word;
        int encryptMode;
        bool asksPass;
        std::u16string_view idPrompt;
        ResultHandling result;
        bool viewer;
        int jisFlag;
    } rows[] = {
        {"sign", 0, true, {}, ResultHandling::Replace, true, 2},
        {"encrypt", 0, false, kRecipientPrompt, ResultHandling::Replace, true, 1},
        {"encrypt", 1, true, kRecipientPrompt, ResultHandling::Replace, true, 1},
        {"check", 0, true, {}, ResultHandling::Replace, true, 4},
        {"pubkey", 0, false, kPubKeyPrompt, ResultHandling::Append, true, 0},
        {"finger", 0, false, kFingerPrompt, ResultHandling::Append, false, 0},
        {"add", 0, false, {}, ResultHandling::None, true, 0},
        {"remove", 0, false, kRemovePrompt, ResultHandling::None, true, 0},
        {"view", 0, false, {}, ResultHandling::None, true, 0},
        {"command", 0, false, {}, ResultHandling::None, false, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.word + " " + std::to_string(row.encryptMode));
        for (int jis : {0, 7}) {
            PgpSettings settings;
            settings.EncryptMode = row.encryptMode;
            settings.JisConvMode = jis;
            const BatchPlan plan = planBatchRun(row.word, settings, {}, {}, kTemp);
            EXPECT_TRUE(plan.knownWord);
            EXPECT_EQ(plan.askPassPhrase, row.asksPass);
            EXPECT_EQ(plan.idPrompt, row.idPrompt);
            EXPECT_EQ(plan.result, row.result);
            EXPECT_EQ(plan.showsViewer, row.viewer);
            EXPECT_EQ(plan.jis, jis != 0 && row.jisFlag != 0);
            EXPECT_EQ(plan.style, row.word == "command" ? WindowStyle::NormalWithFocus
                                                        : WindowStyle::MinimizedNoFocus);
        }
        // Each word looks at its own flag only.
        PgpSettings others;
        others.EncryptMode = row.encryptMode;
        others.JisConvMode = 7 & ~row.jisFlag;
        EXPECT_FALSE(planBatchRun(row.word, others, {}, {}, kTemp).jis);
    }
}

TEST(PlanBatchRun, OverridesWinWhenNotEmpty)
{
    PgpFolder saved;
    PgpFolder dialog;
    PgpSettings settings;
    settings.PgpPath = u16(saved.path);
    settings.TimeZone = u"UTC";
    settings.UserID = u"saved";
    settings.PassPhrase = u"saved pass";
    settings.EnvSize = 1024;
    const Overrides overrides{u16(dialog.path), u"JST-9", u"typed", u"typed pass", u"2048"};
    const BatchPlan plan = planBatchRun("sign", settings, overrides, {}, kTemp);
    EXPECT_EQ(plan.pgpFolder, dialog.path);
    EXPECT_EQ(plan.timeZone, "JST-9");
    EXPECT_EQ(plan.userId, "typed");
    EXPECT_EQ(view(plan.passPhrase), "typed pass");
    EXPECT_EQ(plan.envSize, 2048);
    const BatchPlan fallback = planBatchRun("sign", settings, {}, {}, kTemp);
    EXPECT_EQ(fallback.pgpFolder, saved.path);
    EXPECT_EQ(fallback.userId, "saved");
    EXPECT_EQ(fallback.envSize, 1024);
}

TEST(PlanBatchRun, AMissingPgpFolderIsLeftOut)
{
    PgpSettings settings;
    settings.PgpPath = u"/nonexistent/kestrova/pgp";
    EXPECT_EQ(planBatchRun("sign", settings, {}, {}, kTemp).pgpFolder, "");
}

TEST(CommandArguments, EnvironmentSizeOnlyWhenOneOrMore)
{
    struct Row
    {
        int saved;
        std::u16string typed;
        std::vector<std::string> arguments;
    } rows[] = {
        {0, u"", {"kc", "/C", "/tmp/kt/Kestrova.bat"}},
        {-5, u"", {"kc", "/C", "/tmp/kt/Kestrova.bat"}},
        {1024, u"", {"kc", "/E:1024", "/C", "/tmp/kt/Kestrova.bat"}},
        {1024, u"abc", {"kc", "/E:1024", "/C", "/tmp/kt/Kestrova.bat"}},
        {1024, u"2048", {"kc", "/E:2048", "/C", "/tmp/kt/Kestrova.bat"}},
        {1024, u"0", {"kc", "/C", "/tmp/kt/Kestrova.bat"}},
        {0, u" 512 ", {"kc", "/E:512", "/C", "/tmp/kt/Kestrova.bat"}},
    };
    for (const auto& row : rows) {
        PgpSettings settings;
        settings.EnvSize = row.saved;
        Overrides overrides;
        overrides.envSize = row.typed;
        const BatchPlan plan = planBatchRun("view", settings, overrides, {}, kTemp);
        EXPECT_EQ(commandArguments(plan, "kc"), row.arguments) << row.saved;
    }
}

TEST(WorkFilesIn, NamesTheFourFilesInTheFolder)
{
    for (const std::string folder : {"/tmp/kt", "/tmp/kt/"}) {
        const WorkFiles files = workFilesIn(folder);
        EXPECT_EQ(files.input, I);
        EXPECT_EQ(files.pgpOutput, A);
        EXPECT_EQ(files.consoleOutput, O);
        EXPECT_EQ(files.batch, "/tmp/kt/Kestrova.bat");
    }
}

TEST(BuildBatchText, QuotesHostileValuesSoTheyStayOneArgument)
{
    PgpSettings settings;
    settings.UserID = u"A\" > /tmp/x & y";
    settings.PassPhrase = u"p%PATH%\"q";
    const BatchPlan plan = planBatchRun(
        "encrypt",
        [&] {
            PgpSettings s = settings;
            s.EncryptMode = 1;
            return s;
        }(),
        {}, {}, kTemp);
    const BatchText batch = buildBatchText(plan, "kestrova", u"", u"B | C");
    EXPECT_EQ(view(batch.text), kHeader + "PGP.EXE +batchmode +force -z\"p%%PATH%%\"\"q\" -sea " +
                                    I + " \"B | C\" -u \"A\"\" > /tmp/x & y\" > " + O + "\r\n");
}

TEST(BuildBatchText, RefusesALineBreakInAnyValue)
{
    struct Row
    {
        const char* name;
        std::string word;
        PgpSettings settings;
        std::u16string asked;
        std::u16string id;
    } rows[] = {
        {"user ID", "sign",
         [] {
             PgpSettings s;
             s.UserID = u"a\r\nPGP.EXE -kr x";
             s.PassPhrase = u"p";
             return s;
         }(),
         u"", u""},
        {"stored pass phrase", "sign",
         [] {
             PgpSettings s;
             s.PassPhrase = u"p\nq";
             return s;
         }(),
         u"", u""},
        {"asked pass phrase", "check", {}, u"p\rq", u""},
        {"recipient", "encrypt", {}, u"", u"bob\nCOMMAND"},
        {"time zone", "view",
         [] {
             PgpSettings s;
             s.TimeZone = u"JST-9\nCOMMAND";
             return s;
         }(),
         u"", u""},
        {"NUL in a key ID", "remove", {}, u"", std::u16string(u"a\0b", 3)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const BatchPlan plan = planBatchRun(row.word, row.settings, {}, {}, kTemp);
        const BatchText batch = buildBatchText(plan, "kestrova", row.asked, row.id);
        EXPECT_EQ(view(batch.text), "");
        EXPECT_NE(batch.refusal.find(u"改行"), std::u16string::npos);
    }
}

TEST(BuildBatchText, RefusesAPgpFolderWhoseNameWouldSplitThePath)
{
    PgpFolder parent;
    for (const std::string name : {"keys;/tmp/evil", "keys:more"}) {
        SCOPED_TRACE(name);
        const std::string folder = parent.path + "/" + name;
        std::filesystem::create_directories(folder);
        PgpSettings settings;
        settings.PgpPath = kestrova::io::decodeUtf8(folder);
        settings.PassPhrase = u"p";
        for (const char* word : {"sign", "view", "command"}) {
            const BatchPlan plan = planBatchRun(word, settings, {}, {}, kTemp);
            const BatchText batch = buildBatchText(plan, "kestrova");
            EXPECT_EQ(view(batch.text), "") << word;
            EXPECT_NE(batch.refusal.find(u"\";\""), std::u16string::npos) << word;
        }
        const BatchPlan fromEnvironment =
            planBatchRun("command", {}, {}, ProgramEnvironment{folder, "", ""}, kTemp);
        EXPECT_EQ(view(buildBatchText(fromEnvironment, "kestrova").text).empty(),
                  name.find(':') != std::string::npos);
    }
}

// Every line the runner writes, read back the way kestrova-command reads it, gives each value
// exactly, whatever it holds of what the batch language treats specially.
TEST(BuildBatchText, EveryValueComesBackExactlyThroughExpansionAndSplitting)
{
    const std::string values[] = {"pgp100%keys", "my keys", "q\"uote",
                                  "日本語の鍵",  "%PATH%",  "a%%b %c"};
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        PgpFolder parent;
        const std::string folder = parent.path + "/" + value;
        const std::string temp = parent.path + "/t " + value + "/";
        std::filesystem::create_directories(folder);
        PgpSettings settings;
        settings.PgpPath = kestrova::io::decodeUtf8(folder);
        settings.TimeZone = kestrova::io::decodeUtf8("JST-9 " + value);
        settings.UserID = kestrova::io::decodeUtf8(value);
        settings.PassPhrase = kestrova::io::decodeUtf8(value);
        for (const char* word : {"sign", "check", "pubkey", "command"}) {
            SCOPED_TRACE(word);
            const BatchPlan plan = planBatchRun(word, settings, {}, {}, temp);
            const BatchText batch =
                buildBatchText(plan, "kestrova", u"", kestrova::io::decodeUtf8(value));
            ASSERT_TRUE(batch.refusal.empty());
            Variables variables = {{"PATH", "/usr/bin"}};
            std::vector<std::vector<std::string>> programs;
            std::string cd;
            std::istringstream lines{std::string(view(batch.text))};
            for (std::string line; std::getline(lines, line);) {
                line.pop_back(); // CR
                const std::string expanded(view(expandVariables(line, variables)));
                if (expanded.starts_with("SET ")) {
                    const std::size_t equals = expanded.find('=');
                    variables[expanded.substr(4, equals - 4)] = expanded.substr(equals + 1);
                } else if (expanded.starts_with("CD ")) {
                    cd = expanded.substr(3);
                } else if (expanded.starts_with("PGP.EXE")) {
                    const auto program = splitProgramLine(expanded);
                    ASSERT_TRUE(program) << program.error().reason;
                    std::vector<std::string> words;
                    for (const auto& w : program->words)
                        words.emplace_back(view(w.text));
                    words.push_back(program->redirect.value_or(""));
                    programs.push_back(words);
                }
            }
            EXPECT_EQ(variables["TZ"], "JST-9 " + value);
            EXPECT_EQ(variables["PGPPATH"], folder);
            EXPECT_EQ(variables["PATH"], folder + ";/usr/bin");
            if (std::string_view(word) == "command") {
                EXPECT_EQ(cd, folder);
                continue;
            }
            ASSERT_EQ(programs.size(), 1u);
            const auto& words = programs.front();
            auto holds = [&words](const std::string& piece) {
                return std::find(words.begin(), words.end(), piece) != words.end();
            };
            EXPECT_TRUE(holds(temp + "Kestrova.out") || holds(temp + "Kestrova.ASC"));
            if (std::string_view(word) == "sign") {
                EXPECT_TRUE(holds("-z" + value));
                EXPECT_TRUE(holds(value)); // the user ID after -u
                EXPECT_TRUE(holds(temp + "Kestrova.tmp"));
            } else if (std::string_view(word) == "check") {
                EXPECT_TRUE(holds("-z" + value));
                EXPECT_TRUE(holds(temp + "Kestrova.tmp"));
            } else {
                EXPECT_TRUE(holds(value)); // the key's user ID
                EXPECT_TRUE(holds(temp + "Kestrova.ASC"));
            }
        }
    }
}

// A stored pass phrase goes into Kestrova.bat only when a secret key will use it: a text with
// no encrypted message is checked with public keys alone.
TEST(BuildBatchText, CheckWritesAStoredPassPhraseOnlyForAnEncryptedMessage)
{
    PgpSettings stored;
    stored.PassPhrase = u"saved pass";
    const ProgramEnvironment noEnv;
    const ProgramEnvironment passEnv{"", "from env", ""};
    const std::u16string plain = u"拝啓\r\nお元気ですか。\r\n";
    const std::u16string clearSigned = u"-----BEGIN PGP SIGNED MESSAGE-----\r\nHash: SHA256\r\n"
                                       u"\r\n拝啓\r\n-----BEGIN PGP SIGNATURE-----\r\n\r\niQ==\r\n"
                                       u"-----END PGP SIGNATURE-----\r\n";
    const std::u16string encrypted =
        u"> 引用\r\n-----BEGIN PGP MESSAGE-----\r\n\r\nhQEMA==\r\n-----END PGP MESSAGE-----\r\n";
    const std::string bare = "PGP.EXE +batchmode +force " + I + " -o " + A + " > " + O + "\r\n";
    const std::string withPass =
        "PGP.EXE +batchmode +force -z\"saved pass\" " + I + " -o " + A + " > " + O + "\r\n";
    const struct
    {
        const char* name;
        const std::u16string& text;
        ProgramEnvironment environment;
        std::string lines;
    } rows[] = {
        {"plain text", plain, noEnv, bare},
        {"clear-signed text", clearSigned, noEnv, bare},
        {"encrypted message", encrypted, noEnv, withPass},
        {"plain text with PGPPASS too", plain, passEnv, bare},
        {"encrypted message with PGPPASS too", encrypted, passEnv, "SET PGPPASS=\r\n" + withPass},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const BatchPlan plan = planBatchRun("check", stored, {}, row.environment, kTemp, row.text);
        EXPECT_FALSE(plan.askPassPhrase);
        const BatchText batch = buildBatchText(plan, "kestrova");
        EXPECT_EQ(view(batch.text), kHeader + row.lines);
    }
}

TEST(BuildBatchText, AUserIdWithALineBreakIsNoMatterForWordsThatDoNotUseIt)
{
    PgpSettings settings;
    settings.UserID = u"a\nb";
    const BatchPlan plan = planBatchRun("view", settings, {}, {}, kTemp);
    EXPECT_TRUE(buildBatchText(plan, "kestrova").refusal.empty());
}

} // namespace
