// Running gpg with pipes for its input, output, messages, status lines and pass phrase: no
// shell, no terminal, a time limit, and a flag that stops it early.
#pragma once

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::pgp {

// The descriptors gpg is told about: --status-fd and --passphrase-fd.
inline constexpr int kStatusFd = 3;
inline constexpr int kPassPhraseFd = 4;

struct GpgCall
{
    std::string program;                   // absolute path of gpg
    std::vector<std::string> arguments;    // after the program name
    std::vector<std::string> environment;  // NAME=value, all gpg gets
    std::string input;                     // its standard input
    std::optional<std::string> passPhrase; // written to kPassPhraseFd with a line end
    std::chrono::milliseconds timeLimit{std::chrono::minutes(2)};
    const volatile std::sig_atomic_t* stop = nullptr; // when it becomes non-zero, gpg is ended
};

// One "[GNUPG:] KEYWORD arg arg" line.
struct StatusLine
{
    std::string keyword;
    std::vector<std::string> args;
};

struct GpgReply
{
    bool started = false;
    std::string startError; // why it could not be started
    bool timedOut = false;
    bool stopped = false;
    int exitStatus = -1; // -1 when it ended by a signal
    std::string out;
    std::string err;
    std::vector<StatusLine> status;

    [[nodiscard]] const StatusLine* find(std::string_view keyword) const;
    [[nodiscard]] bool has(std::string_view keyword) const { return find(keyword) != nullptr; }
};

// Runs gpg and collects everything it writes; never waits past the time limit (plus a moment
// to end it). The pass phrase goes through a pipe only.
[[nodiscard]] GpgReply runGpg(const GpgCall& call);

// The status lines of what gpg wrote to its status descriptor.
[[nodiscard]] std::vector<StatusLine> parseStatus(std::string_view text);

// The first executable file named name in a ":"-separated PATH value (relative entries are
// skipped), or empty.
[[nodiscard]] std::string findProgram(std::string_view name, std::string_view pathValue);

} // namespace kestrova::pgp
