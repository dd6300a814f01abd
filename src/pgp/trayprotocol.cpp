#include "pgp/trayprotocol.h"

#include "io/files.h"

#include <charconv>
#include <cstdlib>
#include <sys/stat.h>

namespace kestrova::pgp {

std::string traySocketPath()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        struct stat info
        {
        };
        if (::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode))
            return std::string(runtime) + "/" + kTrayWindowName;
    }
    // /tmp itself is open to every user, who could put a socket of this name there first.
    auto temp = io::GetTempDir();
    if (!temp)
        return {};
    return *temp + kTrayWindowName;
}

std::optional<TrayCommand> trayCommandOf(int id)
{
    switch (id) {
    case 40018:
    case 40026:
        return TrayCommand::Sign;
    case 40017:
    case 40025:
        return TrayCommand::Encrypt;
    case 40007:
    case 40027:
        return TrayCommand::EncryptAndSign;
    case 40008:
        return TrayCommand::Check;
    case 40028: // the 6.5.1i generation adds keys with the same command as it checks
        return TrayCommand::CheckAndImport;
    case 40006:
        return TrayCommand::Import;
    default:
        return std::nullopt;
    }
}

std::optional<int> trayCommandId(int version, std::string_view word, int encryptMode)
{
    const bool first = version == 1;
    if (word == "sign")
        return first ? 40018 : 40026;
    if (word == "encrypt" && encryptMode == 1)
        return first ? 40007 : 40027;
    if (word == "encrypt")
        return first ? 40017 : 40025;
    if (word == "check")
        return first ? 40008 : 40028;
    if (word == "add")
        return first ? 40006 : 40028;
    return std::nullopt;
}

std::optional<TrayRequest> parseTrayRequest(std::string_view line)
{
    if (line == kTopMostRequest)
        return TrayRequest{.topMost = true, .id = 0};
    constexpr std::string_view command = "command ";
    if (!line.starts_with(command))
        return std::nullopt;
    line.remove_prefix(command.size());
    int id = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), id);
    if (error != std::errc() || end != line.data() + line.size() || line.empty())
        return std::nullopt;
    return TrayRequest{.topMost = false, .id = id};
}

std::string commandRequest(int id) { return "command " + std::to_string(id); }

} // namespace kestrova::pgp
