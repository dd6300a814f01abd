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

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::pgp {

// The variables of a batch run. Names keep their letter case; look-ups try the exact name
// first and then any name that differs only in letter case, as DOS did.
using Variables = std::map<std::string, std::string>;

// The first character that no line can carry (line feed, carriage return, NUL), or nothing.
[[nodiscard]] std::optional<char> lineBreakIn(std::string_view value);

// value with every "%" doubled, so that the expansion gives it back unchanged.
[[nodiscard]] std::string escapePercent(std::string_view value);

// One quoted argument: Q + value + Q, "%" and Q doubled inside. The value must hold no line
// break (see lineBreakIn).
[[nodiscard]] std::string quoteArgument(std::string_view value);

// A path as one argument: as it stands when it holds nothing the reader treats specially
// (blank, tab, quote, "<", ">", "&", "|"), else quoted; "%" doubled either way.
[[nodiscard]] std::string pathArgument(std::string_view path);

// The value of a variable, or nothing when it is not set.
[[nodiscard]] std::optional<std::string> findVariable(const Variables& variables,
                                                      std::string_view name);

// line with its variables expanded as described above.
[[nodiscard]] std::string expandVariables(std::string_view line, const Variables& variables);

// A program line cut into words, its quotes taken away.
struct ProgramLine
{
    std::vector<std::string> words;
    std::optional<std::string> redirect; // the file standard output goes to
};

// Cuts an expanded program line. Returns nothing and sets error for an unclosed quote, a ">"
// without a file, a second ">" or "<", "&", "|" outside quotes: lines the runner never writes.
[[nodiscard]] std::optional<ProgramLine> splitProgramLine(std::string_view line,
                                                          std::string& error);

} // namespace kestrova::pgp
