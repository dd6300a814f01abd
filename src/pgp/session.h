// One PGP.EXE command line's dealings with gpg: finding it, running it with the pass phrase,
// listing keys, the files it reads and writes, and the sentences its report is made of.
#pragma once

#include "io/result.h"
#include "pgp/frontend.h"
#include "pgp/gpgrun.h"
#include "pgp/keylisting.h"
#include "pgp/secret.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::pgp {

// Armoured output lies beside the input, its extension replaced by "ASC".
[[nodiscard]] std::string armourPath(const std::string& input);
// Decrypted output without -o: the input name without its extension.
[[nodiscard]] std::string plainPath(const std::string& input);

class Session
{
public:
    Session(const FrontEndOptions& options, std::string& console);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    [[nodiscard]] bool found() const { return !m_program.empty(); }
    bool force = false; // output files may be replaced

    // The pass phrase of -z when given, else PGPPASS of the batch when set.
    void usePassPhrase(const std::optional<SecretString>& given);

    // Runs gpg with the common options before arguments. With needsPassPhrase the pass phrase
    // goes through its pipe, and the agent forgets every unlocked key of this home before and
    // after, so that gpg checks the pass phrase given here and no key stays unlocked.
    GpgReply gpg(const std::vector<std::string>& arguments, std::string_view input = {},
                 bool needsPassPhrase = false);

    // The keys pattern matches (all keys when it is empty), or nothing, said why, when gpg
    // could not list them.
    std::optional<std::vector<Key>> listKeys(const std::string& pattern, bool secret = false);
    std::optional<Key> keyFor(const std::string& pattern);

    void say(const std::string& line) { m_console += line + "\n"; }
    void sayRaw(const std::string& text) { m_console += text; }
    void sayKeyList(const std::vector<Key>& keys);
    // What went wrong, from the status lines, then gpg's own words.
    void explainFailure(const GpgReply& reply);
    // The key that made a signature, named by what status lines give.
    std::string describeSigner(const std::string& fingerprintOrId);

    // A file named on the command line; false, said why, when it cannot be read.
    bool readInput(const std::string& path, std::string& bytes);
    // Output files hold plain text or keys: made 0600, never through a symbolic link; an
    // existing one is zeroed before it is replaced, and only with +force.
    bool writeResult(const std::string& path, std::string_view bytes);

private:
    void forgetUnlockedKeys();

    const FrontEndOptions& m_options;
    std::string& m_console;
    std::string m_program;
    std::vector<std::string> m_environment;
    SecretString m_passPhrase;
    bool m_hasPassPhrase = false;
};

} // namespace kestrova::pgp
