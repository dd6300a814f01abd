#include "pgp/commandline.h"

#include <cctype>

namespace kestrova::pgp {

namespace {

io::IoError refused(std::string reason)
{
    return io::IoError{io::IoErrorKind::BadData, {}, std::move(reason)};
}

std::string lowered(std::string_view text)
{
    std::string out;
    for (char c : text)
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::optional<KeyCommand> keyCommandOf(std::string_view rest)
{
    if (rest == "xa" || rest == "x")
        return KeyCommand::Extract;
    if (rest == "vc")
        return KeyCommand::ViewFingerprints;
    if (rest == "v")
        return KeyCommand::View;
    if (rest == "a")
        return KeyCommand::Add;
    if (rest == "r")
        return KeyCommand::Remove;
    return std::nullopt;
}

} // namespace

io::Result<Command> parseCommand(const std::vector<CommandWord>& words)
{
    Command command;
    bool operandDue = false; // the word after a key command names its key or file
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = view(words[i].text);
        if (words[i].quoted || operandDue || word.size() < 2 ||
            (word[0] != '-' && word[0] != '+')) {
            command.operands.emplace_back(word);
            operandDue = false;
            continue;
        }
        if (word[0] == '+') {
            const std::string name = lowered(word.substr(1));
            if (name == "force")
                command.force = true;
            else if (name != "batchmode") // never a prompt here anyway
                return refused("Unknown option " + std::string(word) + ".");
            continue;
        }
        if (word[1] == 'k') {
            const auto key = keyCommandOf(word.substr(2));
            if (!key)
                return refused("The key command " + std::string(word) +
                               " is not supported here; use gpg in the Shell.");
            command.keyCommand = *key;
            operandDue = true;
            continue;
        }
        for (std::size_t k = 1; k < word.size(); ++k) {
            const char letter = word[k];
            const std::string_view rest = word.substr(k + 1);
            if (letter == 's') {
                command.sign = true;
            } else if (letter == 'e') {
                command.encrypt = true;
            } else if (letter == 'a') {
                command.armour = true;
            } else if (letter == 't') {
                command.text = true;
            } else if (letter == 'z') {
                command.passPhrase = secret(rest); // -z"" is an empty pass phrase
                break;
            } else if (letter == 'u' || letter == 'o') {
                std::string value(rest);
                if (value.empty()) {
                    if (i + 1 == words.size())
                        return refused("Option -" + std::string(1, letter) + " needs a value.");
                    value = std::string(view(words[++i].text));
                }
                if (letter == 'u')
                    command.signer = std::move(value);
                else
                    command.output = std::move(value);
                break;
            } else {
                return refused("Unknown option -" + std::string(1, letter) + ".");
            }
        }
    }
    return command;
}

} // namespace kestrova::pgp
