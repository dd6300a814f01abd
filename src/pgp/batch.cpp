#include "pgp/batch.h"

#include "engine/cp932.h"
#include "io/files.h"
#include "io/jis2sjis.h"
#include "io/paths.h"
#include "io/textcodec.h"
#include "pgp/batchlang.h"
#include "pgp/gpgrun.h"
#include "pgp/secret.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace kestrova::pgp {

namespace {

constexpr std::string_view kPgpLine = "PGP.EXE +batchmode +force ";
constexpr std::u16string_view kBusyMessage =
    u"ほかのウィンドウで PGP のコマンドが実行中です。終わってからやり直してください。";

std::string utf8(std::u16string_view text) { return io::encodeUtf8(text); }

const std::u16string& chosen(const std::u16string& override, const std::u16string& setting)
{
    return override.empty() ? setting : override;
}

// "Numeric" as the settings dialog's field means it: blanks around an optional sign and digits.
std::optional<int> numberIn(std::u16string_view text)
{
    std::string digits;
    for (char16_t c : text) {
        if (c == u' ')
            continue;
        if (c > 0x7F)
            return std::nullopt;
        digits += static_cast<char>(c);
    }
    std::size_t start = !digits.empty() && (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
    if (digits.size() == start || digits.size() - start > 9)
        return std::nullopt;
    for (std::size_t i = start; i < digits.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(digits[i])))
            return std::nullopt;
    return std::atoi(digits.c_str());
}

// The absolute form of an existing folder, or empty.
std::string existingFolder(const std::string& path)
{
    if (path.empty())
        return {};
    std::string full = io::GetShortPath(path);
    struct stat st
    {
    };
    if (full.empty() || ::stat(full.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return full;
}

struct WordRules
{
    bool known = true;
    bool usesPassPhrase = false;
    std::u16string_view idPrompt = {};
    ResultHandling result = ResultHandling::None;
    bool showsViewer = true;
    int jisFlag = 0;
};

WordRules rulesOf(std::string_view word, int encryptMode)
{
    if (word == "sign")
        return {.usesPassPhrase = true, .result = ResultHandling::Replace, .jisFlag = 2};
    if (word == "encrypt")
        return {.usesPassPhrase = encryptMode == 1,
                .idPrompt = kRecipientPrompt,
                .result = ResultHandling::Replace,
                .jisFlag = 1};
    if (word == "check")
        return {.usesPassPhrase = true, .result = ResultHandling::Replace, .jisFlag = 4};
    if (word == "pubkey")
        return {.idPrompt = kPubKeyPrompt, .result = ResultHandling::Append};
    if (word == "finger")
        return {.idPrompt = kFingerPrompt, .result = ResultHandling::Append, .showsViewer = false};
    if (word == "add" || word == "view")
        return {};
    if (word == "remove")
        return {.idPrompt = kRemovePrompt};
    if (word == "command")
        return {.showsViewer = false};
    return {.known = false};
}

// The name of a work file within the folder.
std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::u16string lineBreakRefusal(std::u16string_view what)
{
    return std::u16string(what) + u"に改行や NUL 文字は使えません。何も実行していません。";
}

constexpr std::u16string_view kNothingRun = u"何も実行していません。";

bool halfWidthKatakana(char32_t c) { return c >= 0xFF61 && c <= 0xFF9F; }

std::u16string characterAt(std::size_t line, char32_t c)
{
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(c));
    std::u16string shown;
    if (c > 0xFFFF) {
        shown += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        shown += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        shown += static_cast<char16_t>(c);
    }
    return io::decodeUtf8(std::to_string(line)) + u" 行目の「" + shown + u"」(" +
           io::decodeUtf8(name) + u")";
}

// The first character the ISO-2022-JP input file cannot carry as the mail will. Half-width
// katakana have a JIS X 0201 form, but strict ISO-2022-JP mail has none: a mail client changes
// them, and a signature over them breaks on the way.
std::u16string jisRefusal(std::u16string_view text, bool signedMail, bool encodes)
{
    std::size_t line = 1;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t c = engine::nextCodePoint(text, i);
        if (c == U'\n')
            ++line;
        if (signedMail && halfWidthKatakana(c))
            return characterAt(line, c) +
                   u"は半角カタカナで、ISO-2022-JP のメールでは送れません（途中で変えられ、"
                   u"署名が合わなくなります）。「ｶﾅ>カナ」で全角にしてから、やり直してください。" +
                   std::u16string(kNothingRun);
        if (!encodes && c > 0x7F &&
            !io::encodeText(text.substr(start, i - start), io::OutputCode::Jis, true))
            return characterAt(line, c) + u"は ISO-2022-JP で表せない文字です。" +
                   std::u16string(kNothingRun);
    }
    return {};
}

} // namespace

ProgramEnvironment currentEnvironment()
{
    const char* path = std::getenv("PGPPATH");
    const char* pass = std::getenv("PGPPASS");
    const char* programs = std::getenv("PATH");
    return {path ? path : "", pass ? pass : "", programs ? programs : ""};
}

WorkFiles workFilesIn(const std::string& tempDir)
{
    WorkFiles files;
    files.folder = tempDir.ends_with('/') ? tempDir : tempDir + "/";
    files.input = files.folder + std::string(io::kDefaultTempName);
    // The PGP output is the input path with its last three characters replaced by "ASC".
    files.pgpOutput = files.input.substr(0, files.input.size() - 3) + "ASC";
    files.consoleOutput = files.folder + "Kestrova.out";
    files.batch = files.folder + "Kestrova.bat";
    return files;
}

BatchPlan planBatchRun(std::string_view word, const PgpSettings& settings,
                       const Overrides& overrides, const ProgramEnvironment& environment,
                       const std::string& tempDir, std::optional<std::u16string_view> text)
{
    BatchPlan plan;
    plan.word = std::string(word);
    plan.files = workFilesIn(tempDir);
    plan.userId = utf8(chosen(overrides.userId, settings.UserID));
    plan.passPhrase = secretUtf8(chosen(overrides.passPhrase, settings.PassPhrase));
    plan.timeZone = utf8(chosen(overrides.timeZone, settings.TimeZone));
    const std::u16string& folder = chosen(overrides.pgpPath, settings.PgpPath);
    plan.pgpFolder = existingFolder(utf8(folder));
    // gpg would fall back to ~/.gnupg, and sign with a key ring the user did not choose.
    if (!folder.empty() && plan.pgpFolder.empty())
        plan.missingFolder = folder;
    plan.envSize = settings.EnvSize;
    if (!overrides.envSize.empty())
        plan.envSize = numberIn(overrides.envSize).value_or(settings.EnvSize);

    const WordRules rules = rulesOf(word, settings.EncryptMode);
    plan.knownWord = rules.known;
    plan.result = rules.result;
    plan.showsViewer = rules.showsViewer;
    plan.jis = (settings.JisConvMode & rules.jisFlag) != 0;
    plan.idPrompt = std::u16string(rules.idPrompt);
    plan.usesPassPhrase = rules.usesPassPhrase;
    // Only an encrypted message needs the secret key; a signature is checked with public keys.
    if (word == "check" && text && text->find(u"-----BEGIN PGP MESSAGE-----") == text->npos)
        plan.usesPassPhrase = false;
    if (plan.usesPassPhrase) {
        const bool environmentPass = !environment.PGPPASS.empty();
        plan.clearPgpPass = !plan.passPhrase.empty() && environmentPass;
        plan.askPassPhrase = plan.passPhrase.empty() && !environmentPass;
        plan.passPhraseOnLine = !plan.passPhrase.empty() || !environmentPass;
    }
    if (word == "command") {
        plan.style = WindowStyle::NormalWithFocus;
        plan.commandFolder =
            plan.pgpFolder.empty() ? existingFolder(environment.PGPPATH) : plan.pgpFolder;
    }
    return plan;
}

std::u16string refusalBeforeAsking(const BatchPlan& plan, const ProgramEnvironment& environment,
                                   std::u16string_view text)
{
    if (!plan.missingFolder.empty())
        return u"PGP のフォルダ「" + plan.missingFolder +
               u"」がないか、フォルダではありません。設定の「PGP」で確かめてください。" +
               std::u16string(kNothingRun);
    // kestrova-command looks for gpg where the window would, on the PATH it is started with.
    if (plan.knownWord && plan.word != "command" &&
        findProgram("gpg", environment.PATH.empty() ? std::string_view("/usr/bin:/bin")
                                                    : std::string_view(environment.PATH))
            .empty())
        return u"gpg (GnuPG) が見つかりません。Debian のパッケージ「gnupg」を入れてください。" +
               std::u16string(kNothingRun);
    if (plan.jis) {
        const std::u16string lines = io::normalizeLineEnds(text, io::LineEnd::CrLf);
        const bool encodes = io::encodeText(lines, io::OutputCode::Jis, true).has_value();
        const bool signedMail = plan.word == "sign" || plan.word == "encrypt";
        if (!encodes || signedMail)
            return jisRefusal(lines, signedMail, encodes);
    }
    return {};
}

BatchText buildBatchText(const BatchPlan& plan, std::string_view programName,
                         std::u16string_view askedPassPhrase, std::u16string_view id)
{
    const SecretString passPhrase =
        plan.askPassPhrase ? secretUtf8(askedPassPhrase) : plan.passPhrase;
    const std::string typedId = plan.idPrompt.empty() ? std::string() : utf8(id);
    const bool signs = plan.word == "sign" || plan.word == "encrypt";
    const WorkFiles& files = plan.files;

    // Every value that reaches a line is checked before anything is built.
    const std::pair<std::u16string_view, std::string_view> values[] = {
        {u"ユーザID", signs ? std::string_view(plan.userId) : std::string_view()},
        {u"パスフレーズ", plan.passPhraseOnLine ? view(passPhrase) : std::string_view()},
        {u"入力したID", typedId},
        {u"タイムゾーン", plan.timeZone},
        {u"PGP のフォルダ", plan.pgpFolder},
        {u"PGPPATH のフォルダ", plan.commandFolder},
        {u"一時フォルダ", files.folder},
        {u"プログラム名", programName},
    };
    for (const auto& [what, value] : values)
        if (lineBreakIn(value))
            return {{}, lineBreakRefusal(what)};
    // The PATH line reads ";" as a separator (and ":" is one here): the folder would split
    // into entries that are searched before the system's own. A ":" would also make the
    // drive line of "command" one that is no drive.
    if (plan.pgpFolder.find_first_of(";:") != std::string::npos ||
        plan.commandFolder.find(':') != std::string::npos)
        return {{}, u"PGP のフォルダの名前に \";\" や \":\" は使えません。何も実行していません。"};

    std::vector<std::string> lines = {
        "@ECHO OFF",
        "rem " + std::string(programName) + " DOS Command batch file.",
        "",
    };
    if (!plan.timeZone.empty())
        lines.push_back("SET TZ=" + escapePercent(plan.timeZone));
    if (!plan.pgpFolder.empty()) {
        lines.push_back("SET PGPPATH=" + escapePercent(plan.pgpFolder));
        lines.push_back("SET PATH=" + escapePercent(plan.pgpFolder) + ";%PATH%");
    }

    const std::string input = pathArgument(files.input);
    const std::string pgpOutput = pathArgument(files.pgpOutput);
    const std::string console = pathArgument(files.consoleOutput);
    const std::string signer = plan.userId.empty() ? "" : " -u " + quoteArgument(plan.userId);
    // The PGP line with the pass phrase is made only in secret memory: its head is added
    // in front of lines[secretLine] when the text is put together.
    SecretString head(kPgpLine);
    std::optional<std::size_t> secretLine;
    if (plan.usesPassPhrase) {
        if (plan.clearPgpPass)
            lines.push_back("SET PGPPASS=");
        if (plan.passPhraseOnLine) {
            head += "-z";
            appendQuoted(head, view(passPhrase));
            head += " ";
        }
    }

    const std::string_view word = plan.word;
    if (word == "sign") {
        secretLine = lines.size();
        lines.push_back("-sat " + input + signer + " > " + console);
    } else if (word == "encrypt") {
        if (plan.usesPassPhrase)
            secretLine = lines.size();
        const std::string start = plan.usesPassPhrase ? "-sea " : std::string(kPgpLine) + "-ea ";
        lines.push_back(start + input + " " + quoteArgument(typedId) + signer + " > " + console);
    } else if (word == "check") {
        secretLine = lines.size();
        lines.push_back(input + " -o " + pgpOutput + " > " + console);
    } else if (word == "pubkey") {
        lines.push_back(std::string(kPgpLine) + "-kxa " + quoteArgument(typedId) + " " + pgpOutput +
                        " > " + console);
    } else if (word == "finger") {
        lines.push_back(std::string(kPgpLine) + "-kvc " + quoteArgument(typedId) + " > " +
                        pgpOutput);
    } else if (word == "add") {
        lines.push_back("PGP.EXE +batchmode -ka " + input + " > " + console);
    } else if (word == "remove") {
        lines.push_back(std::string(kPgpLine) + "-kr " + quoteArgument(typedId) + " > " + console);
    } else if (word == "view") {
        lines.push_back(std::string(kPgpLine) + "-kv > " + console);
    } else if (word == "command") {
        const std::string& folder = plan.commandFolder;
        if (!folder.empty()) {
            if (const std::size_t colon = folder.find(':');
                colon != std::string::npos && colon >= 1)
                lines.push_back(escapePercent(folder.substr(0, colon + 1)));
            lines.push_back("CD " + escapePercent(folder));
        }
        lines.push_back("COMMAND");
    }

    BatchText batch;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (secretLine == i)
            batch.text += head;
        batch.text += lines[i];
        batch.text += "\r\n";
    }
    wipeString(head);
    return batch;
}

std::vector<std::string> commandArguments(const BatchPlan& plan, const std::string& commandProgram)
{
    std::vector<std::string> arguments = {commandProgram};
    if (plan.envSize >= 1)
        arguments.push_back("/E:" + std::to_string(plan.envSize));
    arguments.push_back("/C");
    const std::string shortPath = io::GetShortPath(plan.files.batch);
    arguments.push_back(shortPath.empty() ? plan.files.batch : shortPath);
    return arguments;
}

io::Result<io::Done> writeWorkFiles(const WorkFolder& folder, const BatchPlan& plan,
                                    std::u16string_view text, const BatchText& batch)
{
    // Every line end CR LF and one final end-of-file mark dropped, as the text file writer does.
    std::u16string lines = io::normalizeLineEnds(text, io::LineEnd::CrLf);
    if (!lines.empty() && lines.back() == io::kEndOfFile)
        lines.pop_back();
    auto input = io::encodeText(lines, plan.jis ? io::OutputCode::Jis : io::OutputCode::Utf8, true);
    wipeString(lines);
    io::Result<io::Done> written =
        input ? folder.write(nameOf(plan.files.input), *input)
              : io::Result<io::Done>(
                    io::IoError{input.error().kind, plan.files.input, input.error().reason});
    if (input)
        wipeString(*input);
    // The batch holds the pass phrase: its bytes go to the file as they are, with no copy in
    // another code on the way.
    if (written)
        written = folder.write(nameOf(plan.files.batch), view(batch.text));
    if (!written)
        wipeWorkFiles(folder, plan.files);
    return written;
}

void wipeWorkFiles(const WorkFolder& folder, const WorkFiles& files)
{
    // A file that cannot be wiped is left to the next run, which wipes the same names first.
    for (const std::string* path :
         {&files.batch, &files.input, &files.pgpOutput, &files.consoleOutput})
        (void)folder.wipe(nameOf(*path));
}

BatchOutcome finishBatchRun(const WorkFolder& folder, const BatchPlan& plan, int convMode,
                            std::u16string& text, bool succeeded)
{
    BatchOutcome outcome;
    (void)folder.wipe(nameOf(plan.files.batch)); // it held the pass phrase
    (void)folder.wipe(nameOf(plan.files.input)); // it held the plain text

    auto readAndWipe = [&](const std::string& path) {
        auto read = folder.read(nameOf(path));
        (void)folder.wipe(nameOf(path));
        io::Result<io::DecodedText> decoded = io::DecodedText{};
        if (read && *read) {
            decoded = io::decodeText(**read, convMode == 1);
            wipeString(**read);
        }
        const io::IoError* failed = !read ? &read.error() : !decoded ? &decoded.error() : nullptr;
        if (failed) {
            outcome.notes.push_back(io::decodeUtf8(path + ": " + failed->reason));
            return std::u16string();
        }
        return std::move(decoded->text);
    };
    std::u16string result = readAndWipe(plan.files.pgpOutput);
    if (!succeeded) {
        // "finger" writes its listing, and so its complaint, to the PGP output.
        outcome.console = readAndWipe(plan.files.consoleOutput) + result;
        return outcome;
    }
    if (!result.empty()) {
        if (plan.result == ResultHandling::Replace)
            text = std::move(result);
        else if (plan.result == ResultHandling::Append)
            text += u"\r\n" + result;
    }
    outcome.console = readAndWipe(plan.files.consoleOutput);
    return outcome;
}

void wipeLeftoverWorkFiles()
{
    // No private folder, no work files to wipe: nothing was ever written.
    if (auto temp = io::GetTempDir()) {
        // Another window may be in the middle of a run: its files are not leftovers.
        const WorkFolder folder(*temp);
        if (folder.opened() && folder.lock())
            wipeWorkFiles(folder, workFilesIn(*temp));
    }
}

PgpResult PgpBatchRun(std::string_view word, std::u16string& text, const BatchRunContext& context,
                      const BatchRunHooks& hooks)
{
    std::string tempDir = context.tempDir;
    if (tempDir.empty()) {
        auto temp = io::GetTempDir();
        if (!temp) {
            hooks.message(io::decodeUtf8(temp.error().path + ": " + temp.error().reason));
            return PgpResult::Cancelled;
        }
        tempDir = *temp;
    }
    const WorkFolder folder(tempDir);
    if (const auto& opened = folder.opened(); !opened) {
        hooks.message(io::decodeUtf8(opened.error().path + ": " + opened.error().reason));
        return PgpResult::Cancelled;
    }
    if (!folder.lock()) {
        hooks.message(kBusyMessage);
        return PgpResult::Cancelled;
    }
    BatchPlan plan =
        planBatchRun(word, context.settings, context.overrides, context.environment, tempDir, text);
    // Results of an earlier run must never be read as this run's, and a run the window did
    // not see to its end left the pass phrase and plain text behind: zeroed, not just unlinked.
    wipeWorkFiles(folder, plan.files);

    SecretU16String passPhrase;
    std::u16string id;
    auto cancel = [&](std::u16string_view why) {
        if (!why.empty())
            hooks.message(why);
        wipeString(passPhrase);
        wipeString(plan.passPhrase);
        wipeWorkFiles(folder, plan.files);
        return PgpResult::Cancelled;
    };
    if (const std::u16string refusal = refusalBeforeAsking(plan, context.environment, text);
        !refusal.empty())
        return cancel(refusal);
    if (plan.askPassPhrase) {
        auto typed = hooks.InputPass(kPassPhrasePrompt);
        if (!typed)
            return cancel({});
        passPhrase.assign(typed->begin(), typed->end());
        wipeString(*typed);
    }
    if (!plan.idPrompt.empty()) {
        auto typed = hooks.InputId(plan.idPrompt);
        if (!typed)
            return cancel({});
        id = std::move(*typed);
    }
    BatchText batch = buildBatchText(plan, context.programName, passPhrase, id);
    wipeString(passPhrase);
    wipeString(plan.passPhrase);
    if (!batch.refusal.empty())
        return cancel(batch.refusal);
    auto written = writeWorkFiles(folder, plan, text, batch);
    wipeString(batch.text);
    // kestrova-command is started by path: while the dialogs were open, the name may have
    // been given to another folder.
    if (written)
        written = folder.stillAtItsPath();
    if (!written)
        return cancel(io::decodeUtf8(written.error().path + ": " + written.error().reason));

    const bool succeeded = hooks.run(commandArguments(plan, context.commandProgram), plan.style);

    BatchOutcome outcome = finishBatchRun(folder, plan, context.settings.ConvMode, text, succeeded);
    for (const auto& note : outcome.notes)
        hooks.message(note);
    if ((plan.showsViewer || !succeeded) && !outcome.console.empty())
        hooks.View(kViewTitle, outcome.console);
    return succeeded ? PgpResult::Done : PgpResult::Failed;
}

} // namespace kestrova::pgp
