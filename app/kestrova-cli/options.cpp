#include "options.h"

#include "engine/cp932.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <optional>

namespace kestrova::cli {
namespace {

struct CommandName
{
    const char* name;
    Command command;
};

constexpr CommandName kCommands[] = {
    {"align", Command::Align}, {"quote", Command::Quote},     {"unquote", Command::Unquote},
    {"widen", Command::Widen}, {"convert", Command::Convert}, {"detect", Command::Detect},
};

bool isTextCommand(Command c)
{
    return c == Command::Align || c == Command::Quote || c == Command::Unquote ||
           c == Command::Widen;
}

// Which options each subcommand takes.
bool takesOption(Command c, std::string_view name)
{
    if (name == "columns" || name == "kinsoku" || name == "chgmode" || name == "note" ||
        name == "comment-char")
        return c == Command::Align;
    if (name == "quote-chars")
        return c == Command::Align || c == Command::Quote || c == Command::Unquote;
    if (name == "crlf")
        return isTextCommand(c) || c == Command::Convert;
    if (name == "output-code")
        return isTextCommand(c);
    if (name == "to" || name == "report")
        return c == Command::Convert;
    return false;
}

bool isFlag(std::string_view name) { return name == "crlf" || name == "report"; }

std::optional<long long> wholeNumber(std::string_view text)
{
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec == std::errc::result_out_of_range) {
        if (ec == std::errc::result_out_of_range &&
            text.find_first_not_of("0123456789") == text.npos)
            return LLONG_MAX;
        return std::nullopt;
    }
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::u16string> utf8Argument(std::string_view text)
{
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii && !io::isUtf8Text(text))
        return std::nullopt;
    return io::decodeUtf8(text);
}

// Applies one option; returns an error message or an empty string.
std::string applyOption(Options& o, std::string_view name, std::string_view value)
{
    const std::string shown = "--" + std::string(name);
    if (name == "columns") {
        const auto n = wholeNumber(value);
        if (!n || *n < 1)
            return "bad value for " + shown + ": '" + std::string(value) +
                   "' (a whole number from 1 up)";
        o.settings.Columns = static_cast<int>(std::min<long long>(*n, INT_MAX));
    } else if (name == "kinsoku" || name == "chgmode") {
        const auto n = wholeNumber(value);
        const int max = name == "kinsoku" ? 1 : 2;
        if (!n || *n < 0 || *n > max)
            return "bad value for " + shown + ": '" + std::string(value) + "' (0" +
                   (max == 1 ? " or 1)" : ", 1 or 2)");
        (name == "kinsoku" ? o.settings.Kinsoku : o.settings.ChgMode) = static_cast<int>(*n);
    } else if (name == "note" || name == "quote-chars") {
        auto text = utf8Argument(value);
        if (!text)
            return "bad value for " + shown + ": not UTF-8 text";
        (name == "note" ? o.settings.EnterMes : o.settings.Inyofu) = std::move(*text);
    } else if (name == "comment-char") {
        auto text = utf8Argument(value);
        std::size_t end = 0;
        if (text && !text->empty())
            static_cast<void>(engine::nextCodePoint(*text, end));
        if (!text || text->empty() || end != text->size())
            return "bad value for " + shown + ": '" + std::string(value) + "' (one character)";
        o.settings.CommentChar = std::move(*text);
    } else if (name == "output-code") {
        if (value == "utf8")
            o.outputCode = io::OutputCode::Utf8;
        else if (value == "sjis")
            o.outputCode = io::OutputCode::Sjis;
        else if (value == "jis")
            o.outputCode = io::OutputCode::Jis;
        else if (value == "euc")
            o.outputCode = io::OutputCode::Euc;
        else
            return "bad value for " + shown + ": '" + std::string(value) +
                   "' (utf8, sjis, jis or euc)";
    } else if (name == "to") {
        if (value == "sjis")
            o.convertTo = 0;
        else if (value == "jis")
            o.convertTo = 1;
        else if (value == "euc")
            o.convertTo = 2;
        else if (value == "utf8")
            o.convertTo = kConvertToUtf8;
        else
            return "bad value for " + shown + ": '" + std::string(value) +
                   "' (sjis, jis, euc or utf8)";
    }
    return {};
}

} // namespace

ParseResult parseOptions(const std::vector<std::string>& args)
{
    ParseResult result;
    Options& o = result.options;
    if (args.empty()) {
        result.error = "no command given; try 'kestrova-cli --help'";
        return result;
    }
    const std::string& first = args[0];
    if (first == "--help" || first == "-h") {
        o.command = Command::Help;
        return result;
    }
    if (first == "--version") {
        o.command = Command::Version;
        return result;
    }
    bool known = false;
    for (const CommandName& c : kCommands) {
        if (first == c.name) {
            o.command = c.command;
            known = true;
        }
    }
    if (!known) {
        result.error = "unknown command '" + first + "'; try 'kestrova-cli --help'";
        return result;
    }

    bool sawFile = false;
    bool sawTo = false;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            o.command = Command::Help;
            return result;
        }
        if (!optionsEnded && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            std::string name = arg.substr(2);
            std::optional<std::string> value;
            if (const auto eq = name.find('='); eq != name.npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
            }
            if (!takesOption(o.command, name)) {
                result.error = "unknown option '--" + name + "' for " + first;
                return result;
            }
            if (isFlag(name)) {
                if (value) {
                    result.error = "option '--" + name + "' takes no value";
                    return result;
                }
                (name == "crlf" ? o.crlf : o.report) = true;
                continue;
            }
            if (!value) {
                if (i + 1 >= args.size()) {
                    result.error = "option '--" + name + "' needs a value";
                    return result;
                }
                value = args[++i];
            }
            if (name == "to")
                sawTo = true;
            if (std::string error = applyOption(o, name, *value); !error.empty()) {
                result.error = error;
                return result;
            }
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            result.error = "unknown option '" + arg + "' for " + first;
            return result;
        }
        if (sawFile) {
            result.error = "more than one FILE given ('" + o.file + "' and '" + arg + "')";
            return result;
        }
        o.file = arg;
        sawFile = true;
    }
    if (o.command == Command::Convert && !sawTo)
        result.error = "convert needs --to sjis|jis|euc|utf8";
    return result;
}

const char* usageText()
{
    return R"(Usage: kestrova-cli COMMAND [OPTIONS] [FILE]

Prepares Japanese plain text for mail and news. Reads FILE, or standard input when
FILE is absent or '-', and writes the result to standard output.

Commands:
  align     re-flow the text so that no line is wider than the column count
  quote     put a quote character in front of every line
  unquote   take one character off every quoted line
  widen     turn half-width katakana into full-width
  convert   convert the text to Shift_JIS, JIS, EUC-JP or UTF-8
  detect    print the code of the input: JIS, EUC, UTF-8, a line-end kind, or nothing

Options of align:
  --columns N          widest line, in Shift_JIS columns (default 70)
  --kinsoku 0|1        Japanese line-break rules (default 0)
  --chgmode 0|1|2      join a broken line's rest with the next line: never, when
                       quoted, always (default 2)
  --note TEXT          note after a re-flowed quotation; '' for none
                       (default （改行位置を変更しました）)
  --comment-char C     git's comment character: lines that begin with C, and all
                       from git's scissors line on, are left exactly as they are
                       (for commit messages; none by default)
Options of align, quote and unquote:
  --quote-chars TEXT   the quote characters (default ≫＞>》〉｜|)
Options of align, quote, unquote and widen:
  --crlf               keep CR LF line ends in UTF-8 output
  --output-code CODE   utf8 (default), sjis, jis or euc; the Japanese codes end
                       lines in CR LF
Options of convert:
  --to sjis|jis|euc|utf8
                       the target code (required). JIS, EUC-JP and Shift_JIS input
                       gives exactly the bytes the window writes; UTF-8 input is
                       decoded and a character the target cannot hold is refused.
                       The Japanese codes end lines in CR LF, UTF-8 in LF
  --crlf               end lines in CR LF in UTF-8 output
  --report             print result=N on standard error: 4 x line-end kind (0 CR LF
                       only, 1 lone CR, 2 lone LF) + code family of the input
                       (0 Shift_JIS, 1 JIS, 2 EUC-JP, 3 UTF-8)

Input is read as UTF-8 when it is valid UTF-8 with a byte-order mark or a multi-byte
character; otherwise JIS, EUC-JP and Shift_JIS are recognised. A character that the
output code cannot hold is refused, never replaced.
Only a byte-order mark at the very start is removed. quote marks no line after the
input's final line end. Options take '--name value' or '--name=value'.
Exit status: 0 done, 1 output could not be written, 2 bad command line or input, or
input too large for the memory available.
)";
}

} // namespace kestrova::cli
