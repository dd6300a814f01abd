// Throw-away GnuPG homes with keys made in the test, private folders, and running programs
// while watching them.
#pragma once

#include "run_process.h"

#include <functional>
#include <string>
#include <vector>

namespace kestrova::test {

// A folder made with mkdtemp under /tmp (short, mode 0700), removed with all it holds.
class TempFolder
{
public:
    explicit TempFolder(const std::string& prefix = "/tmp/kt.");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string path;                                     // without a final "/"
    [[nodiscard]] std::vector<std::string> names() const; // what is in it, sorted
};

// How the agent of a GpgHome keeps unlocked keys.
enum class AgentCache
{
    Off,      // every run is checked against the pass phrase it was given
    Defaults, // gpg-agent as installed: a key stays unlocked for ten minutes after its use
};

// A GnuPG home of its own; the agent is ended when the home goes.
class GpgHome
{
public:
    explicit GpgHome(AgentCache cache = AgentCache::Off);
    ~GpgHome();
    GpgHome(const GpgHome&) = delete;
    GpgHome& operator=(const GpgHome&) = delete;

    // An ed25519 signing key with a cv25519 encryption subkey; returns its fingerprint. options
    // go before the command (--faked-system-time); expire is gpg's ("never", "1y").
    std::string makeKey(const std::string& userId, const std::string& passPhrase,
                        const std::vector<std::string>& options = {},
                        const std::string& expire = "never");
    // The armoured public key, and the revocation certificate gpg made with the key.
    std::string publicKey(const std::string& fingerprint);
    std::string revocation(const std::string& fingerprint);
    ProcessResult gpg(const std::vector<std::string>& args, const std::string& input = {});
    // The fingerprints of the public keys the home holds.
    std::vector<std::string> fingerprints();

    TempFolder folder{"/tmp/kg."};
    const std::string& path = folder.path;
};

[[nodiscard]] std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// Starts argv[0] with the process environment (no shell) and waits for it, calling
// whileRunning again and again until it has ended. Returns its exit status.
int runWatching(const std::vector<std::string>& argv, const std::function<void()>& whileRunning);

// The command lines (NUL bytes shown as blanks) of every process whose argument list holds
// needle.
[[nodiscard]] std::vector<std::string> commandLinesHolding(const std::string& needle);

// The files under folder whose bytes hold needle.
[[nodiscard]] std::vector<std::string> filesHolding(const std::string& folder,
                                                    const std::string& needle);

// "ABCD EF01 ..." as the front end prints a fingerprint.
[[nodiscard]] std::string grouped(const std::string& fingerprint);

} // namespace kestrova::test
