// The batch language Kestrova.bat is written in: how the runner quotes a value into a line and
// how kestrova-command reads a line back, kept side by side so that the two always agree.
//
// A line is UTF-8. Before anything else "%NAME%" is replaced by the variable's value (an unset
// variable by nothing) and "%%" by one "%"; a "%" without its closing one is dropped. A
// program line is then cut into words at blanks and tabs outside double quotes; a double
// quote opens or closes a quoted run, and inside one a doubled quote stands for one quote
// character. A ">" outside quotes starts the redirection of standard output to the file named
// after it.
#pragma once

#include "io/result.h"
#include "pgp/commandline.h"
#include "pgp/secret.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::pgp {

// Names compared without regard to ASCII letter case, as DOS did.
struct NameLess
{
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// The variables of a batch run. Names keep the letter case they were first set with; two names
// that differ only in letter case are one variable.
using Variables = std::map<std::string, std::string, NameLess>;

// The first character that no line can carry (line feed, carriage return, NUL), or nothing.
[[nodiscard]] std::optional<char> lineBreakIn(std::string_view value);

// value with every "%" doubled, so that the expansion gives it back unchanged.
[[nodiscard]] std::string escapePercent(std::string_view value);

// One quoted argument: Q + value + Q, "%" and Q doubled inside. The value must hold no line
// break (see lineBreakIn).
[[nodiscard]] std::string quoteArgument(std::string_view value);

// The same, added to out: for a pass phrase, which must stay in a SecretString.
template <typename String> void appendQuoted(String& out, std::string_view value)
{
    out += '"';
    for (char c : value) {
        out += c;
        if (c == '%' || c == '"')
            out += c;
    }
    out += '"';
}

// A path as one argument: as it stands when it holds nothing the reader treats specially
// (blank, tab, quote, "<", ">", "&", "|"), else quoted; "%" doubled either way.
[[nodiscard]] std::string pathArgument(std::string_view path);

// The value of a variable, or nothing when it is not set.
[[nodiscard]] std::optional<std::string> findVariable(const Variables& variables,
                                                      std::string_view name);

// line with its variables expanded as described above. It may hold a pass phrase.
[[nodiscard]] SecretString expandVariables(std::string_view line, const Variables& variables);

// A program line cut into words, their quotes taken away. A word counts as quoted when it
// begins with a double quote ("-ka" is an operand; -z"..." is still an option).
struct ProgramLine
{
    std::vector<CommandWord> words;
    std::optional<std::string> redirect; // the file standard output goes to
};

// Cuts an expanded program line. An unclosed quote, a ">" without a file, a second ">" or "<",
// "&", "|" outside quotes (lines the runner never writes) are refused with the reason.
[[nodiscard]] io::Result<ProgramLine> splitProgramLine(std::string_view line);

} // namespace kestrova::pgp
