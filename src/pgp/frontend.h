// The PGP 2.6.3i command line ("PGP.EXE" of a batch line) carried out by GnuPG.
//
// Understood: +batchmode, +force (replace output files), -z<pass phrase>, -u ID, -o FILE,
// -sat FILE (clear-sign as text; -sa signs to armour), -ea FILE ID.. and -sea FILE ID..
// (encrypt to armour, signing too), FILE [-o OUT] (decrypt and/or verify), -kxa ID FILE,
// -kvc [ID], -kv [ID], -ka FILE, -kr ID. Armoured output goes beside the input with its
// extension replaced by "ASC" unless -o names a file. The pass phrase comes from -z, else from
// PGPPASS; it reaches gpg through a pipe only. PGPPATH is the GnuPG home.
//
// Safety beyond the old program: -ea/-sea and -kr refuse a user ID that matches several keys
// (listing them); -kr never deletes a key that has a secret key; encryption to a key that is
// expired, revoked, unusable or not known to be valid is refused with the reason and advice.
// Decisions come from gpg's status lines and colon listings only.
#pragma once

#include "pgp/batchlang.h"
#include "pgp/commandline.h"

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

namespace kestrova::pgp {

inline constexpr std::chrono::seconds kDefaultGpgTimeLimit{120};

struct FrontEndOptions
{
    Variables variables; // the batch's environment: PGPPATH, PGPPASS, TZ...
    // Where gpg is looked up: the PATH kestrova-command was started with, never the batch's
    // (empty: /usr/bin:/bin).
    std::string programPath;
    std::chrono::milliseconds timeLimit = kDefaultGpgTimeLimit; // for each gpg run
    const volatile std::sig_atomic_t* stop = nullptr;           // non-zero: end gpg, give up
};

// The environment gpg, and the Shell the COMMAND line opens, are given: the batch's variables
// without PGPPASS, and GNUPGHOME set to PGPPATH when that is set.
[[nodiscard]] std::vector<std::string> gpgEnvironment(const Variables& variables);

// Carries out one command line (the words after "PGP.EXE"; see commandline.h). What a user should
// read goes to console: what was done, who signed and when, with which key, or what went wrong and
// gpg's own words for it. Returns 0 when the command did what it was asked, 1 otherwise. Relative
// file names are taken from the current folder.
int runPgpCommand(const std::vector<CommandWord>& words, const FrontEndOptions& options,
                  std::string& console);

} // namespace kestrova::pgp
