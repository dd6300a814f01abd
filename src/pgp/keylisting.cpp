#include "pgp/keylisting.h"

#include "pgp/lines.h"

#include <cctype>
#include <ctime>
#include <iterator>

namespace kestrova::pgp {

namespace {

std::vector<std::string> splitFields(std::string_view record)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t colon = record.find(':', start);
        fields.emplace_back(record.substr(start, colon - start));
        if (colon == std::string_view::npos)
            break;
        start = colon + 1;
    }
    return fields;
}

// gpg writes ":" and other bytes of a user ID in a colon listing as \xHH.
std::string unescapeField(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(field[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(field[i + 3]))) {
            out += static_cast<char>(std::stoi(std::string(field.substr(i + 2, 2)), nullptr, 16));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

} // namespace

long long numberOr0(const std::string& field)
{
    if (field.empty() || !std::isdigit(static_cast<unsigned char>(field[0])))
        return 0;
    return std::stoll(field);
}

std::vector<Key> parseKeyListing(std::string_view listing)
{
    std::vector<Key> keys;
    std::string lastType;
    for (std::string_view record : splitLines(listing)) {
        const auto fields = splitFields(record);
        const std::string& type = fields[0];
        auto field = [&fields](std::size_t i) { return i < fields.size() ? fields[i] : ""; };
        if (type == "pub" || type == "sec") {
            Key key;
            key.validity = field(1).empty() ? '-' : field(1)[0];
            key.bits = static_cast<int>(numberOr0(field(2)));
            key.algorithm = static_cast<int>(numberOr0(field(3)));
            key.keyId = field(4);
            key.created = numberOr0(field(5));
            key.expires = numberOr0(field(6));
            key.capabilities = field(11);
            key.curve = field(16);
            keys.push_back(std::move(key));
        } else if (keys.empty()) {
            continue;
        } else if (type == "fpr" && (lastType == "pub" || lastType == "sec")) {
            keys.back().fingerprint = field(9);
        } else if (type == "uid") {
            keys.back().userIds.push_back(unescapeField(field(9)));
        } else if (type == "sub" || type == "ssb") {
            keys.back().subkeyIds.push_back(field(4));
        } else if (type == "grp") {
            keys.back().keygrips.push_back(field(9));
        }
        if (type != "fpr" && type != "grp")
            lastType = type;
    }
    return keys;
}

std::string groupedFingerprint(const std::string& fingerprint)
{
    std::string out;
    for (std::size_t i = 0; i < fingerprint.size(); i += 4) {
        if (i > 0)
            out += fingerprint.size() == 40 && i == 20 ? "  " : " ";
        out += fingerprint.substr(i, 4);
    }
    return out;
}

std::string formatTime(long long seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!::localtime_r(&time, &local))
        return std::to_string(seconds);
    char text[64];
    return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local)
               ? text
               : std::to_string(seconds);
}

std::string formatDate(long long seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    char text[32];
    if (!::localtime_r(&time, &local) || !std::strftime(text, sizeof text, "%Y-%m-%d", &local))
        return std::to_string(seconds);
    return text;
}

std::string algorithmName(const Key& key)
{
    if (!key.curve.empty())
        return key.curve;
    switch (key.algorithm) {
    case 1:
    case 2:
    case 3:
        return "rsa" + std::to_string(key.bits);
    case 16:
    case 20:
        return "elg" + std::to_string(key.bits);
    case 17:
        return "dsa" + std::to_string(key.bits);
    default:
        return "algorithm " + std::to_string(key.algorithm);
    }
}

std::string primaryUserId(const Key& key)
{
    return key.userIds.empty() ? "(no user ID)" : key.userIds.front();
}

// How a key is named in a message: its fingerprint and its first user ID.
std::string keyLine(const Key& key)
{
    return "  " + groupedFingerprint(key.fingerprint) + "  \"" + primaryUserId(key) + "\"\n";
}

std::string validityWord(char validity)
{
    switch (validity) {
    case 'r':
        return "revoked";
    case 'e':
        return "expired";
    case 'i':
        return "invalid";
    case 'd':
        return "disabled";
    case 'n':
        return "never valid: its owner is not trusted";
    case 'm':
        return "only marginally valid";
    default:
        return "not known to be valid: no trusted signature certifies it";
    }
}

// Reasons of INV_RECP and INV_SGNR.
std::string invalidKeyReason(const std::string& code)
{
    static const char* const reasons[] = {
        "no specific reason",
        "not found",
        "ambiguous user ID",
        "wrong key usage",
        "key revoked",
        "key expired",
        "no certificate revocation list known",
        "certificate revocation list too old",
        "policy mismatch",
        "not a secret key",
        "key not trusted",
        "missing certificate",
        "missing issuer certificate",
        "key disabled",
        "syntax error in the user ID",
    };
    const long long n = numberOr0(code);
    if (n >= 0 && n < static_cast<long long>(std::size(reasons)))
        return reasons[n];
    return "reason " + code;
}
} // namespace kestrova::pgp
