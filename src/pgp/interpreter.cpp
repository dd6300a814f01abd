#include "pgp/interpreter.h"

#include "pgp/frontend.h"
#include "pgp/gpgrun.h"
#include "pgp/lines.h"
#include "pgp/secret.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrova::pgp {

namespace {

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trimLeft(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    return text;
}

std::string_view trimRight(std::string_view text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The line starts with the keyword, followed by the end or a blank.
bool startsWithWord(std::string_view line, std::string_view keyword)
{
    return line.size() >= keyword.size() && upper(line.substr(0, keyword.size())) == keyword &&
           (line.size() == keyword.size() || line[keyword.size()] == ' ' ||
            line[keyword.size()] == '\t');
}

void complain(std::size_t lineNumber, const std::string& what)
{
    std::fprintf(stderr, "kestrova-command: line %zu: %s\n", lineNumber, what.c_str());
}

void setVariable(Variables& variables, std::string name, std::string value)
{
    if (auto it = variables.find(name); it != variables.end()) {
        name = it->first; // keep the letter case it had
        variables.erase(it);
    }
    if (upper(name) == "PATH")
        for (char& c : value)
            if (c == ';')
                c = ':';
    // Programs get the variables as their environment; only the clock of this process reads
    // its own, and each setenv scans the whole environment: a long batch would take quadratic
    // time.
    if (upper(name) == "TZ") {
        if (value.empty())
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str(), 1);
        ::tzset();
    }
    if (!value.empty())
        variables.emplace(std::move(name), std::move(value));
}

// COMMAND: the user's terminal running the user's shell, in this folder with the batch's
// environment; the batch waits until it is closed.
int openTerminal(const Variables& variables, const std::string& programPath, std::size_t lineNumber)
{
    std::string terminal = findVariable(variables, "TERMINAL").value_or("");
    if (terminal.empty())
        terminal = "x-terminal-emulator";
    std::string shell = findVariable(variables, "SHELL").value_or("");
    if (shell.empty())
        if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_shell)
            shell = user->pw_shell;
    const std::string program =
        terminal.find('/') != std::string::npos ? terminal : findProgram(terminal, programPath);
    if (program.empty() || shell.empty()) {
        complain(lineNumber, program.empty() ? "no terminal program \"" + terminal + "\" found"
                                             : "no shell known (SHELL is not set)");
        return 1;
    }
    std::vector<std::string> words = {program, "-e", shell};
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> entries = gpgEnvironment(variables);
    std::vector<char*> envp;
    for (auto& entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (const int failed =
            ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data())) {
        complain(lineNumber, "cannot start " + program + ": " + std::strerror(failed));
        return 1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

int runProgramLine(const ProgramLine& line, const Variables& variables,
                   const InterpreterOptions& options, const std::string& programPath,
                   std::size_t lineNumber)
{
    int out = STDOUT_FILENO;
    if (line.redirect) {
        // The report may name the plain text's keys: 0600, and a planted link is not followed.
        out = ::open(line.redirect->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                     0600);
        if (out < 0) {
            complain(lineNumber, "cannot write " + *line.redirect + ": " + std::strerror(errno));
            return 1;
        }
    }
    FrontEndOptions frontEnd;
    frontEnd.variables = variables;
    frontEnd.timeLimit = options.gpgTimeLimit;
    frontEnd.stop = options.stop;
    frontEnd.programPath = programPath;
    std::string console;
    std::vector<CommandWord> words(line.words.begin() + 1, line.words.end());
    int status = runPgpCommand(words, frontEnd, console);
    for (auto& word : words)
        wipeString(word.text);
    if (!writeAll(out, console))
        status = 1;
    if (line.redirect && ::close(out) != 0)
        status = 1;
    return status;
}

} // namespace

Variables environmentVariables()
{
    Variables variables;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text = *entry;
        const std::size_t equals = text.find('=');
        if (equals != std::string_view::npos && equals > 0)
            variables[std::string(text.substr(0, equals))] = std::string(text.substr(equals + 1));
    }
    return variables;
}

int runBatchText(std::string_view text, Variables& variables, const InterpreterOptions& options)
{
    // Programs are looked up where they were before the batch ran: its SET PATH puts the PGP
    // folder first, and a program planted there must never be given the pass phrase.
    const std::string programPath = options.programPath.empty()
                                        ? findVariable(variables, "PATH").value_or("/usr/bin:/bin")
                                        : options.programPath;
    int status = 0;
    std::size_t lineNumber = 0;
    for (std::string_view raw : splitLines(text)) {
        ++lineNumber;
        if (raw.ends_with('\r'))
            raw.remove_suffix(1);
        const std::string_view line = trimLeft(raw);
        if (trimRight(line).empty() || upper(trimRight(line)) == "@ECHO OFF" ||
            startsWithWord(line, "REM"))
            continue;

        SecretString expanded = expandVariables(line, variables);
        const std::string_view command = trimRight(view(expanded));
        if (startsWithWord(command, "SET")) {
            const std::string_view assignment = trimLeft(view(expanded).substr(3));
            const std::size_t equals = assignment.find('=');
            if (equals == std::string_view::npos || equals == 0) {
                complain(lineNumber, "SET needs NAME=value");
                return 1;
            }
            setVariable(variables, std::string(assignment.substr(0, equals)),
                        std::string(assignment.substr(equals + 1)));
        } else if (startsWithWord(command, "CD") && command.size() > 3) {
            const std::string folder(trimLeft(command.substr(3)));
            if (::chdir(folder.c_str()) != 0) {
                complain(lineNumber, "cannot change to " + folder + ": " + std::strerror(errno));
                return 1;
            }
        } else if (upper(command) == "COMMAND") {
            status = openTerminal(variables, programPath, lineNumber);
        } else if (startsWithWord(command, "PGP.EXE") || startsWithWord(command, "PGP")) {
            auto program = splitProgramLine(view(expanded));
            wipeString(expanded);
            if (!program) {
                complain(lineNumber, program.error().reason);
                return 1;
            }
            status = runProgramLine(*program, variables, options, programPath, lineNumber);
            for (auto& word : program->words)
                wipeString(word.text);
        } else if (command.size() == 2 && command[1] == ':' &&
                   std::isalpha(static_cast<unsigned char>(command[0]))) {
            continue; // a drive change: there are no drives here
        } else {
            complain(lineNumber, "not understood; the batch stops here");
            return 1;
        }
        if (options.stop && *options.stop != 0)
            return 130;
    }
    return status;
}

} // namespace kestrova::pgp
