#include "pgp/frontend.h"

#include "pgp/operations.h"
#include "pgp/session.h"

namespace kestrova::pgp {

std::vector<std::string> gpgEnvironment(const Variables& variables)
{
    std::vector<std::string> list;
    for (const auto& [name, value] : variables)
        if (name != "PGPPASS" && name != "GNUPGHOME")
            list.push_back(name + "=" + value);
    if (auto home = findVariable(variables, "PGPPATH"); home && !home->empty())
        list.push_back("GNUPGHOME=" + *home);
    else if (auto own = findVariable(variables, "GNUPGHOME"))
        list.push_back("GNUPGHOME=" + *own);
    return list;
}

int runPgpCommand(const std::vector<CommandWord>& words, const FrontEndOptions& options,
                  std::string& console)
{
    auto parsed = parseCommand(words);
    Session session(options, console);
    if (!parsed) {
        session.say(parsed.error().reason);
        return 1;
    }
    Command& command = *parsed;
    if (!session.found()) {
        session.say("gpg (GnuPG) was not found on the PATH. Install the Debian package "
                    "\"gnupg\".");
        return 1;
    }
    session.force = command.force;
    session.usePassPhrase(command.passPhrase);
    if (command.passPhrase)
        wipeString(*command.passPhrase);
    switch (command.keyCommand) {
    case KeyCommand::Extract:
        return extractKey(session, command);
    case KeyCommand::View:
    case KeyCommand::ViewFingerprints:
        return viewKeys(session, command);
    case KeyCommand::Add:
        return addKeys(session, command);
    case KeyCommand::Remove:
        return removeKey(session, command);
    case KeyCommand::None:
        break;
    }
    if (command.encrypt)
        return encryptFile(session, command);
    if (command.sign)
        return signFile(session, command);
    return decryptFile(session, command);
}

} // namespace kestrova::pgp
