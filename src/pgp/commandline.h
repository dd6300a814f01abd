// The PGP 2.6.3i command line ("PGP.EXE" of a batch line) read into what it asks for.
//
// Options: +batchmode, +force, -z<pass phrase>, -u ID, -o FILE, letters s e a t combined
// ("-sat", "-sea"), and the key commands -kx[a], -kv, -kvc, -ka, -kr. An operand is never read
// as an option: a word that stood in double quotes, the value after -u and -o, and the word
// after a key command are operands whatever they begin with.
#pragma once

#include "io/result.h"
#include "pgp/secret.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrova::pgp {

// One word of a program line, its quotes taken away.
struct CommandWord
{
    SecretString text;
    bool quoted = false; // it stood in double quotes: an operand, never an option
};

enum class KeyCommand
{
    None,
    Extract,          // -kx, -kxa
    View,             // -kv
    ViewFingerprints, // -kvc
    Add,              // -ka
    Remove,           // -kr
};

struct Command
{
    bool force = false;
    bool sign = false;
    bool encrypt = false;
    bool armour = false;
    bool text = false;
    KeyCommand keyCommand = KeyCommand::None;
    std::optional<SecretString> passPhrase;
    std::string signer;
    std::optional<std::string> output;
    std::vector<std::string> operands;
};

// The command the words after "PGP.EXE" give, or what is wrong with them (in reason).
[[nodiscard]] io::Result<Command> parseCommand(const std::vector<CommandWord>& words);

} // namespace kestrova::pgp
