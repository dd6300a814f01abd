// The eight things a PGP.EXE command line can ask of gpg. Each says in the session's report
// what it did or why not, and returns 0 when it did what it was asked, 1 otherwise.
#pragma once

#include "pgp/commandline.h"
#include "pgp/session.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrova::pgp {

int signFile(Session& session, const Command& command);    // -sat FILE [-u ID]
int encryptFile(Session& session, const Command& command); // -ea / -sea FILE ID...
// FILE [-o OUT]: decrypts and checks; every clear-signed block of a text is checked.
int decryptFile(Session& session, const Command& command);
int addKeys(Session& session, const Command& command);    // -ka FILE
int extractKey(Session& session, const Command& command); // -kxa ID FILE
int viewKeys(Session& session, const Command& command);   // -kv [ID], -kvc [ID]
int removeKey(Session& session, const Command& command);  // -kr ID

// The clear-signed blocks of a text, each from its "-----BEGIN PGP SIGNED MESSAGE-----" line
// to its "-----END PGP SIGNATURE-----" line, and how many lines with something other than
// blanks stand outside them.
struct SignedBlocks
{
    std::vector<std::string_view> blocks;
    int linesOutside = 0;
};
[[nodiscard]] SignedBlocks clearSignedBlocks(std::string_view text);

} // namespace kestrova::pgp
