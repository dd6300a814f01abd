// What the window and kestrova-tray say to each other over the tray's local socket: its
// name, the command identifiers of each generation, the request lines and the answers.
//
// A request is one line: "command N" runs the clipboard command with identifier N,
// "topmost" asks the tray to raise its dialogs above other windows. The answer to each is one
// line holding a decimal number: 0 done, anything else not (see TrayAnswer).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrova::pgp {

// The hidden window the tray was found by; here the name of its socket.
inline constexpr char kTrayWindowName[] = "PGPtray_Hidden_Window";

// The socket's path: in XDG_RUNTIME_DIR, which only its user can enter, else in the private
// temporary folder. Empty when neither exists.
[[nodiscard]] std::string traySocketPath();

// What the tray answers a request with.
enum class TrayAnswer
{
    Done = 0,
    Failed = 1,    // gpg failed; the clipboard is as it was
    Cancelled = 2, // the user cancelled a dialog of the tray
    Busy = 3,      // another command is under way; this one was not run
    Unknown = 4,   // not a request the tray knows
};

// The clipboard commands of the tray.
enum class TrayCommand
{
    Sign,
    Encrypt,
    EncryptAndSign,
    Check,          // decrypt and/or verify
    CheckAndImport, // decrypt and/or verify, and import a public-key block found
    Import,
};

// The command an identifier names, for either generation.
[[nodiscard]] std::optional<TrayCommand> trayCommandOf(int id);

// The identifier of word for generation version (1: 5.5.3i and later; any other: 6.5.1i and
// later), encryptMode 1 choosing the command that also signs; nullopt for a word the tray has
// no command for.
[[nodiscard]] std::optional<int> trayCommandId(int version, std::string_view word, int encryptMode);

struct TrayRequest
{
    bool topMost = false; // "topmost", else "command N"
    int id = 0;
};

// One request line without its line end; nullopt for anything else.
[[nodiscard]] std::optional<TrayRequest> parseTrayRequest(std::string_view line);

[[nodiscard]] std::string commandRequest(int id);
inline constexpr char kTopMostRequest[] = "topmost";

} // namespace kestrova::pgp
