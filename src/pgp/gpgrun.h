// Running gpg (or a tool of its suite) with pipes for its input, output, messages, status lines
// and pass phrase: no shell, no terminal, a time limit, and a flag that stops it early.
//
//   GpgCall call;
//   call.program = "/usr/bin/gpg";                  // absolute; found with findProgram
//   call.arguments = {"--status-fd", "3", "--clearsign"};
//   call.environment = {"GNUPGHOME=/home/u/.gnupg"}; // all it gets
//   call.input = text;                               // must outlive the call
//   call.passPhrase = secret(typed);                 // optional: on descriptor 4, one line
//   GpgReply reply = runGpg(call);                   // out, err, status lines, exit status
//
// runGpg blocks the calling thread until the program has ended: a window calls it from a
// worker thread and sets *stop to cancel. The pass phrase never appears in an argument list;
// the copy the runner makes of it is wiped, the caller wipes its own.
#pragma once

#include "pgp/secret.h"

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::pgp {

// The descriptors the program is given besides 0, 1 and 2: for --status-fd and --passphrase-fd.
inline constexpr int kStatusFd = 3;
inline constexpr int kPassPhraseFd = 4;

struct GpgCall
{
    std::string program;                    // absolute path
    std::vector<std::string> arguments;     // after the program name
    std::vector<std::string> environment;   // NAME=value, all it gets
    std::string_view input;                 // its standard input, then end of file
    std::optional<SecretString> passPhrase; // written to kPassPhraseFd with a line end
    std::chrono::milliseconds timeLimit{std::chrono::minutes(2)};
    const volatile std::sig_atomic_t* stop = nullptr; // when it becomes non-zero, it is ended
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
    bool timedOut = false;  // ended at the time limit
    bool stopped = false;   // ended because *stop was set
    int exitStatus = -1;    // -1 when it ended by a signal
    std::string out;
    std::string err;
    std::vector<StatusLine> status; // what it wrote to kStatusFd

    [[nodiscard]] const StatusLine* find(std::string_view keyword) const;
    [[nodiscard]] bool has(std::string_view keyword) const { return find(keyword) != nullptr; }
};

// Runs the program and collects everything it writes; never waits past the time limit (plus
// two seconds to end it: SIGTERM, then SIGKILL).
[[nodiscard]] GpgReply runGpg(const GpgCall& call);

// The status lines of what gpg wrote to its status descriptor.
[[nodiscard]] std::vector<StatusLine> parseStatus(std::string_view text);

// The first executable file named name in a ":"-separated PATH value (relative entries are
// skipped), or empty.
[[nodiscard]] std::string findProgram(std::string_view name, std::string_view pathValue);

} // namespace kestrova::pgp
