// The PGP 2.6.3i path of the PGP command runner: the work files, the batch file Kestrova.bat
// and the run of one command word through kestrova-command, without any window.
//
// Text is UTF-16 with CR LF line ends, as the window holds it; paths and batch text are UTF-8.
// A run goes: planBatchRun (the values and what must be asked), the prompts, buildBatchText,
// writeWorkFiles, kestrova-command with commandArguments, finishBatchRun. PgpBatchRun does all
// of it, asking the window through BatchRunHooks for the prompts, the run and the viewer.
#pragma once

#include "io/result.h"
#include "pgp/secret.h"
#include "pgp/workfolder.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::pgp {

// What PgpCommand returns.
enum class PgpResult
{
    Done = 0,
    Cancelled = -1, // cancelled, refused, not supported, or nothing to send
    TrayMissing = -2,
    Failed = -3, // PGP ran and reported a failure: the text is as it was, the viewer says why
};

// What becomes of the text when the command has run.
enum class ResultHandling
{
    Replace, // the PGP output, when there is one, replaces the text
    Append,  // the PGP output, when there is one, follows the text after one CR LF
    None,
};

enum class WindowStyle
{
    MinimizedNoFocus,
    NormalWithFocus, // "command": the user works in it
};

// The settings the runner reads, with the settings file's defaults.
struct PgpSettings
{
    int PgpVer = 0;      // 0: the PGP.EXE path; 1, 2: PGPtray of that generation
    int EncryptMode = 0; // 1: sign while encrypting
    int JisConvMode = 7; // 1 JIS for "encrypt", 2 for "sign", 4 for "check"
    int ViewMini = 0;    // 1: PGPtray raises its dialogs above other windows first
    int EnvSize = 0;     // /E: of the interpreter; below 1 not given
    int ConvMode = 1;    // 1: results are read with the Japanese code detection
    std::u16string PgpPath;
    std::u16string TimeZone;
    std::u16string UserID;
    std::u16string PassPhrase; // in clear
};

// The settings dialog's fields, each used instead of its setting when not empty; envSize only
// when it is a number.
struct Overrides
{
    std::u16string pgpPath;
    std::u16string timeZone;
    std::u16string userId;
    std::u16string passPhrase;
    std::u16string envSize;
};

// The two variables of the program's own environment the runner looks at; empty when unset.
struct ProgramEnvironment
{
    std::string PGPPATH;
    std::string PGPPASS;
    std::string PATH; // where kestrova-command looks for gpg
};
[[nodiscard]] ProgramEnvironment currentEnvironment();

struct WorkFiles
{
    std::string folder;        // T, ending in "/"
    std::string input;         // T + "Kestrova.tmp": the text handed to PGP
    std::string pgpOutput;     // T + "Kestrova.ASC": armoured or decrypted output, listings
    std::string consoleOutput; // T + "Kestrova.out": what PGP reports
    std::string batch;         // T + "Kestrova.bat"
};
// The work files in the temporary folder tempDir (with or without its final "/").
[[nodiscard]] WorkFiles workFilesIn(const std::string& tempDir);

// Prompts and titles, as the window shows them.
inline constexpr std::u16string_view kPassPhrasePrompt = u"ﾊﾟｽﾌﾚｰｽﾞを入力して下さい";
inline constexpr std::u16string_view kRecipientPrompt = u"受取人のIDを入力して下さい";
inline constexpr std::u16string_view kPubKeyPrompt = u"公開鍵のﾕｰｻﾞIDを入力して下さい";
inline constexpr std::u16string_view kFingerPrompt = u"指紋のﾕｰｻﾞIDを入力して下さい";
inline constexpr std::u16string_view kRemovePrompt = u"削除するﾕｰｻﾞIDを入力して下さい";
inline constexpr std::u16string_view kViewTitle = u"結果表示";

// Everything one run needs, worked out before any prompt.
struct BatchPlan
{
    std::string word;
    bool knownWord = false; // one of the nine; any other word runs an empty batch
    WorkFiles files;
    std::string userId;            // U
    SecretString passPhrase;       // P, from the override or the setting; may be empty
    std::string timeZone;          // Z
    std::string pgpFolder;         // G: the absolute form of the PGP folder, empty when missing
    std::u16string missingFolder;  // a PGP folder that was given but is no folder: refused
    int envSize = 0;               // E
    bool usesPassPhrase = false;   // the word's PGP line has a pass-phrase part
    bool clearPgpPass = false;     // a "SET PGPPASS=" line comes first
    bool askPassPhrase = false;    // InputPass with kPassPhrasePrompt before anything else
    bool passPhraseOnLine = false; // the PGP line carries -z
    std::u16string idPrompt;       // not empty: InputId with this prompt, after InputPass
    std::string commandFolder;     // "command": G, else the absolute form of $PGPPATH
    ResultHandling result = ResultHandling::None;
    bool showsViewer = false; // the console output goes to the viewer when not empty
    bool jis = false;         // the input file is written as ISO-2022-JP, else as UTF-8
    WindowStyle style = WindowStyle::MinimizedNoFocus;
};

// Resolves the overrides and settings for word, with the work files in tempDir. With the text,
// "check" of a text that holds no encrypted message uses no secret key: no pass phrase is asked
// for or written.
[[nodiscard]] BatchPlan planBatchRun(std::string_view word, const PgpSettings& settings,
                                     const Overrides& overrides,
                                     const ProgramEnvironment& environment,
                                     const std::string& tempDir,
                                     std::optional<std::u16string_view> text = std::nullopt);

// Why the run must not start, decided before anything is asked: a PGP folder given but missing,
// no gpg to run, a text the input file's code cannot carry (the character and its line named).
// Empty when it may start.
[[nodiscard]] std::u16string refusalBeforeAsking(const BatchPlan& plan,
                                                 const ProgramEnvironment& environment,
                                                 std::u16string_view text);

// The batch text, or why a value was refused.
struct BatchText
{
    SecretString text;      // UTF-8, CR LF line ends; empty when refused
    std::u16string refusal; // for a message box: which value and why
};

// Builds Kestrova.bat for plan. askedPassPhrase is what InputPass gave (used when
// plan.askPassPhrase), id what InputId gave (used when plan.idPrompt is not empty);
// programName is the executable's name without extension, for the "rem" line. A value with a
// line break is refused, and so is a PGP folder whose name holds ";" or ":" (they would split
// the PATH line); quotes and "%" are doubled inside the quotes, so that kestrova-command reads
// every value back exactly and nothing in it can add a word, a command or a redirection.
[[nodiscard]] BatchText buildBatchText(const BatchPlan& plan, std::string_view programName,
                                       std::u16string_view askedPassPhrase = {},
                                       std::u16string_view id = {});

// The argument list that runs the batch: program, "/E:n" when E >= 1, "/C", the batch path.
[[nodiscard]] std::vector<std::string> commandArguments(const BatchPlan& plan,
                                                        const std::string& commandProgram);

// Writes the input file (text as ISO-2022-JP when plan.jis, else UTF-8) and the batch file (its
// bytes as they are), both 0600 without following a link. On failure (a character the code
// cannot hold is named) nothing is left behind.
[[nodiscard]] io::Result<io::Done> writeWorkFiles(const WorkFolder& folder, const BatchPlan& plan,
                                                  std::u16string_view text, const BatchText& batch);

// Overwrites the work files with zeros and deletes them; files never made are skipped.
void wipeWorkFiles(const WorkFolder& folder, const WorkFiles& files);

// The work files a run left behind when the window died during it (the batch may hold the pass
// phrase, the others plain text), zeroed and deleted in the private temporary folder.
void wipeLeftoverWorkFiles();

// What a finished run gave back.
struct BatchOutcome
{
    std::u16string console;            // PGP's report, CR LF line ends
    std::vector<std::u16string> notes; // files that could not be read, for a message box
};

// After kestrova-command has ended: wipes the batch and input files, takes the PGP output into
// text as plan.result says (settings.ConvMode chooses the code detection), reads the console
// output, and wipes those two as well. When PGP reported a failure (succeeded false) the text
// stays as it was and whatever the PGP output holds (an error in place of a listing) goes to
// the console text.
[[nodiscard]] BatchOutcome finishBatchRun(const WorkFolder& folder, const BatchPlan& plan,
                                          int convMode, std::u16string& text,
                                          bool succeeded = true);

// What the window supplies to PgpBatchRun.
struct BatchRunHooks
{
    // fomPassPhrase: the typed text, or nothing when cancelled.
    std::function<std::optional<std::u16string>(std::u16string_view prompt)> InputPass;
    std::function<std::optional<std::u16string>(std::u16string_view prompt)> InputId;
    // Starts the program with these arguments (no shell) in the given style and returns when it
    // has ended (WaitProcess): true when it ended by itself with exit status 0, which
    // kestrova-command gives only when its PGP line did what it was asked. To cancel, send it
    // SIGTERM: it ends its gpg and stops, and the run finishes (and wipes) as any other.
    std::function<bool(const std::vector<std::string>& arguments, WindowStyle style)> run;
    // fomView's View(title, text).
    std::function<void(std::u16string_view title, std::u16string_view text)> View;
    // A message box with the application title: a refused value, a file that failed.
    std::function<void(std::u16string_view message)> message;
};

struct BatchRunContext
{
    PgpSettings settings;
    Overrides overrides;
    ProgramEnvironment environment;
    std::string tempDir;        // empty: io::GetTempDir()
    std::string commandProgram; // the kestrova-command executable
    std::string programName = "kestrova";
};

// The whole PGP.EXE path for word on text: Done (the text may have changed), Cancelled (a
// prompt cancelled, a value refused, a work file not written) or Failed (PGP said it could not);
// only Done may change the text. The work files are wiped on every path.
[[nodiscard]] PgpResult PgpBatchRun(std::string_view word, std::u16string& text,
                                    const BatchRunContext& context, const BatchRunHooks& hooks);

} // namespace kestrova::pgp
