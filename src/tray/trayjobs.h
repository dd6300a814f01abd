// The GnuPG work of kestrova-tray's clipboard commands, without windows: each job runs gpg
// once or twice through runGpg and says, from its status lines, what happened in words a
// user understands.
//
// Pass phrases never pass through here: gpg-agent asks for them with its own pinentry.
#pragma once

#include "pgp/gpgrun.h"
#include "pgp/keylisting.h"

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::tray {

// How gpg is run for the tray.
struct TrayGpg
{
    std::string program; // absolute; empty when gpg is not installed
    std::vector<std::string> environment;
    // A person may be typing a pass phrase into pinentry meanwhile.
    std::chrono::milliseconds timeLimit{std::chrono::minutes(10)};
    const volatile std::sig_atomic_t* stop = nullptr;
};

// gpg from PATH, with the variables of the session that gpg-agent needs to show its pinentry
// (DISPLAY, XAUTHORITY, WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS...) and GNUPGHOME.
[[nodiscard]] TrayGpg trayGpgFromEnvironment();

struct JobResult
{
    bool ok = false;
    std::string output; // what goes on the clipboard when ok
    std::string report; // what gpg reported, one fact a line
};

// text is UTF-8, or ISO-2022-JP, which is its own bytes.
[[nodiscard]] JobResult clearSign(const TrayGpg& gpg, std::string_view text);
// recipients: fingerprints; with sign the text is also signed with the default key.
[[nodiscard]] JobResult encryptText(const TrayGpg& gpg, std::string_view text,
                                    const std::vector<std::string>& recipients, bool sign);
// Decrypts and/or verifies; with importKeys a public-key block in text is added to the key
// ring as well, and a text holding only keys is then done with its keys added.
[[nodiscard]] JobResult checkText(const TrayGpg& gpg, std::string_view text, bool importKeys);
[[nodiscard]] JobResult importKeys(const TrayGpg& gpg, std::string_view text);

// The public keys of the key ring; nullopt with the reason in *why when gpg cannot list them.
[[nodiscard]] std::optional<std::vector<pgp::Key>> listPublicKeys(const TrayGpg& gpg,
                                                                  std::string* why);

// Why key cannot be encrypted to ("expired", "revoked"...), or empty when it can; now is
// seconds since 1970.
[[nodiscard]] std::string whyNotUsable(const pgp::Key& key, long long now);

} // namespace kestrova::tray
