#include "pgp/frontend.h"

#include "pgp/gpgrun.h"
#include "pgp/lines.h"
#include "pgp/secret.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kestrova::pgp {

namespace {

constexpr long long kBadPassPhraseCode = 11;

// Sets what went wrong for the caller to say, and returns false.
bool fail(std::string& error, std::string message)
{
    error = std::move(message);
    return false;
}

// One command line, as PGP 2.6.3i reads it.
struct Command
{
    bool force = false;
    bool sign = false;
    bool encrypt = false;
    bool armour = false;
    bool text = false;
    char keyCommand = 0; // 'x' extract, 'v' view, 'c' view with fingerprints, 'a' add, 'r' remove
    std::optional<std::string> passPhrase;
    std::string signer;
    std::optional<std::string> output;
    std::vector<std::string> operands;
};

bool parseCommand(const std::vector<std::string>& words, Command& command, std::string& error)
{
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() > 1 && word[0] == '+') {
            std::string name;
            for (char c : word.substr(1))
                name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (name == "force")
                command.force = true;
            else if (name != "batchmode") // never a prompt here anyway
                return fail(error, "Unknown option " + word + ".");
            continue;
        }
        if (word.size() < 2 || word[0] != '-') {
            command.operands.push_back(word);
            continue;
        }
        if (word[1] == 'k') {
            const std::string rest = word.substr(2);
            if (rest == "xa" || rest == "x")
                command.keyCommand = 'x';
            else if (rest == "vc")
                command.keyCommand = 'c';
            else if (rest == "v")
                command.keyCommand = 'v';
            else if (rest == "a")
                command.keyCommand = 'a';
            else if (rest == "r")
                command.keyCommand = 'r';
            else
                return fail(error, "The key command " + word +
                                       " is not supported here; use gpg in the Shell.");
            continue;
        }
        for (std::size_t k = 1; k < word.size(); ++k) {
            const char letter = word[k];
            const std::string rest = word.substr(k + 1);
            if (letter == 's') {
                command.sign = true;
            } else if (letter == 'e') {
                command.encrypt = true;
            } else if (letter == 'a') {
                command.armour = true;
            } else if (letter == 't') {
                command.text = true;
            } else if (letter == 'z') {
                command.passPhrase = rest; // -z"" is an empty pass phrase, as the runner writes
                break;
            } else if (letter == 'u' || letter == 'o') {
                std::string value = rest;
                if (value.empty()) {
                    if (i + 1 == words.size())
                        return fail(error, "Option -" + std::string(1, letter) + " needs a value.");
                    value = words[++i];
                }
                if (letter == 'u')
                    command.signer = value;
                else
                    command.output = value;
                break;
            } else {
                return fail(error, "Unknown option -" + std::string(1, letter) + ".");
            }
        }
    }
    return true;
}

struct Key
{
    std::string fingerprint;
    std::string keyId;
    char validity = '-';
    std::string capabilities;
    int algorithm = 0;
    int bits = 0;
    std::string curve;
    long long created = 0;
    long long expires = 0;
    std::vector<std::string> userIds;
    std::vector<std::string> subkeyIds;
};

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

bool readWhole(const std::string& path, std::string& bytes, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(error, "Cannot open " + path + ": " + std::strerror(errno) + ".");
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            error = "Cannot read " + path + ": " + std::strerror(errno) + ".";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

// Output files hold plain text or keys: made 0600, never through a symbolic link, and an
// existing file is replaced only with +force.
bool writeOutput(const std::string& path, std::string_view bytes, bool force, std::string& error)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            return fail(error, path + " is a symbolic link; it is not followed. Nothing written.");
        if (!S_ISREG(st.st_mode))
            return fail(error, path + " is not a regular file. Nothing written.");
        if (!force)
            return fail(error, "Output file " + path + " already exists; +force replaces it.");
        if (::unlink(path.c_str()) != 0)
            return fail(error, "Cannot replace " + path + ": " + std::strerror(errno) + ".");
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(error, "Cannot create " + path + ": " + std::strerror(errno) + ".");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = "Cannot write " + path + ": " + std::strerror(errno) + ".";
            ::close(fd);
            ::unlink(path.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        error = "Cannot write " + path + ": " + std::strerror(errno) + ".";
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

// Armoured output lies beside the input, its extension replaced by "ASC".
std::string armourPath(const std::string& input)
{
    const std::size_t slash = input.rfind('/');
    const std::size_t dot = input.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return input + ".ASC";
    return input.substr(0, dot + 1) + "ASC";
}

// Decrypted output without -o: the input name without its extension.
std::string plainPath(const std::string& input)
{
    const std::size_t slash = input.rfind('/');
    const std::size_t dot = input.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == 0)
        return input + ".out";
    return input.substr(0, dot);
}

class Session
{
public:
    Session(const FrontEndOptions& options, std::string& console)
        : m_options(options)
        , m_console(console)
    {
        const auto path = findVariable(options.variables, "PATH");
        m_program = findProgram("gpg", path.value_or("/usr/bin:/bin"));
        m_environment = gpgEnvironment(options.variables);
    }

    ~Session() { wipeString(m_passPhrase); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool found() const { return !m_program.empty(); }
    bool force = false;

    void usePassPhrase(const std::optional<std::string>& given)
    {
        if (given) {
            m_passPhrase = *given;
            m_hasPassPhrase = true;
        } else if (auto fromEnvironment = findVariable(m_options.variables, "PGPPASS");
                   fromEnvironment && !fromEnvironment->empty()) {
            m_passPhrase = *fromEnvironment;
            m_hasPassPhrase = true;
        }
    }

    GpgReply gpg(std::vector<std::string> arguments, const std::string& input = {},
                 bool needsPassPhrase = false)
    {
        GpgCall call;
        call.program = m_program;
        call.arguments = {
            "--batch",           "--no-tty", "--status-fd",           std::to_string(kStatusFd),
            "--display-charset", "utf-8",    "--no-auto-key-retrieve"};
        if (needsPassPhrase) {
            call.arguments.insert(call.arguments.end(), {"--pinentry-mode", "loopback"});
            if (m_hasPassPhrase) {
                call.arguments.insert(call.arguments.end(),
                                      {"--passphrase-fd", std::to_string(kPassPhraseFd)});
                call.passPhrase = m_passPhrase;
            }
        }
        call.arguments.insert(call.arguments.end(), arguments.begin(), arguments.end());
        call.environment = m_environment;
        call.input = input;
        call.timeLimit = m_options.timeLimit;
        call.stop = m_options.stop;
        GpgReply reply = runGpg(call);
        if (call.passPhrase)
            wipeString(*call.passPhrase);
        return reply;
    }

    // The keys pattern matches (all keys when it is empty), or nothing, said why, when gpg
    // could not list them.
    std::optional<std::vector<Key>> listKeys(const std::string& pattern, bool secret = false)
    {
        std::vector<std::string> arguments = {"--with-colons", "--fixed-list-mode",
                                              "--with-fingerprint",
                                              secret ? "--list-secret-keys" : "--list-keys"};
        if (!pattern.empty())
            arguments.insert(arguments.end(), {"--", pattern});
        GpgReply reply = gpg(arguments);
        if (!reply.started || reply.timedOut || reply.stopped) {
            say("The key ring could not be read.");
            explainFailure(reply);
            return std::nullopt;
        }
        // No match is an error for gpg and an empty list here.
        return parseKeyListing(reply.out);
    }

    std::optional<Key> keyFor(const std::string& pattern)
    {
        auto keys = listKeys(pattern);
        if (!keys || keys->empty())
            return std::nullopt;
        return keys->front();
    }

    void say(const std::string& line) { m_console += line + "\n"; }
    void sayRaw(const std::string& text) { m_console += text; }

    // What went wrong, from the status lines, then gpg's own words.
    void explainFailure(const GpgReply& reply)
    {
        if (!reply.started) {
            say("gpg could not be started: " + reply.startError + ".");
            return;
        }
        if (reply.timedOut) {
            say("gpg did not finish within " +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::seconds>(m_options.timeLimit).count()) +
                " seconds and was ended.");
        }
        if (reply.stopped)
            say("Stopped: gpg was ended before it finished.");
        // gpg 2.2 with loopback reports a wrong pass phrase as an error code
        // (GPG_ERR_BAD_PASSPHRASE in the low 16 bits) of a FAILURE or ERROR line; older ones say
        // BAD_PASSPHRASE.
        bool badPassPhrase = reply.has("BAD_PASSPHRASE");
        for (const auto& line : reply.status)
            if ((line.keyword == "FAILURE" || line.keyword == "ERROR") && !line.args.empty() &&
                (numberOr0(line.args.back()) & 0xFFFF) == kBadPassPhraseCode)
                badPassPhrase = true;
        if (badPassPhrase)
            say("Bad pass phrase.");
        else if (reply.has("MISSING_PASSPHRASE") ||
                 (reply.has("NEED_PASSPHRASE") && !m_hasPassPhrase))
            say("No pass phrase was given, and the secret key needs one.");
        for (const auto& line : reply.status) {
            if (line.keyword == "INV_SGNR" && line.args.size() >= 2)
                say("No usable secret key for \"" + line.args[1] +
                    "\": " + invalidKeyReason(line.args[0]) + ".");
            else if (line.keyword == "INV_RECP" && line.args.size() >= 2)
                say("Cannot encrypt to \"" + line.args[1] +
                    "\": " + invalidKeyReason(line.args[0]) + ".");
            else if (line.keyword == "NO_SECKEY" && !line.args.empty())
                say("No secret key on this key ring for key ID " + line.args[0] + ".");
        }
        if (reply.has("DECRYPTION_FAILED"))
            say("Decryption failed.");
        if (reply.has("NODATA"))
            say("No PGP data found: the text is not signed or encrypted, or its armour is "
                "damaged.");
        if (!reply.err.empty()) {
            say("gpg reported:");
            sayRaw(reply.err.ends_with('\n') ? reply.err : reply.err + "\n");
        }
    }

    bool readInput(const std::string& path, std::string& bytes)
    {
        std::string error;
        if (!readWhole(path, bytes, error)) {
            say(error);
            return false;
        }
        return true;
    }

    bool writeResult(const std::string& path, std::string_view bytes)
    {
        std::string error;
        if (!writeOutput(path, bytes, force, error)) {
            say(error);
            return false;
        }
        return true;
    }

    void sayKeyList(const std::vector<Key>& keys)
    {
        for (const auto& key : keys)
            sayRaw(keyLine(key));
    }

    // The key that made a signature, named by what status lines give.
    std::string describeSigner(const std::string& fingerprintOrId)
    {
        if (auto key = keyFor(fingerprintOrId))
            return groupedFingerprint(key->fingerprint) + " \"" + primaryUserId(*key) + "\"";
        return fingerprintOrId;
    }

    const FrontEndOptions& options() const { return m_options; }

private:
    const FrontEndOptions& m_options;
    std::string& m_console;
    std::string m_program;
    std::vector<std::string> m_environment;
    std::string m_passPhrase;
    bool m_hasPassPhrase = false;
};

void reportSignature(Session& session, const GpgReply& reply)
{
    if (const StatusLine* created = reply.find("SIG_CREATED"); created && created->args.size() >= 6)
        session.say("Signature made " + formatTime(numberOr0(created->args[4])) + " with key " +
                    session.describeSigner(created->args[5]) + ".");
}

int signFile(Session& session, const Command& command)
{
    if (command.operands.size() != 1 || !command.armour) {
        session.say("Signing takes one file name and armour (-sat FILE [-u ID]).");
        return 1;
    }
    const std::string& file = command.operands[0];
    std::string input;
    if (!session.readInput(file, input))
        return 1;
    std::vector<std::string> arguments = {"--armor", command.text ? "--clearsign" : "--sign"};
    if (!command.signer.empty())
        arguments.insert(arguments.end(), {"--local-user", command.signer});
    GpgReply reply = session.gpg(arguments, input, true);
    wipeString(input);
    if (!reply.has("SIG_CREATED") || reply.exitStatus != 0 || reply.out.empty()) {
        session.say("The text was not signed.");
        session.explainFailure(reply);
        return 1;
    }
    const std::string output = command.output.value_or(armourPath(file));
    if (!session.writeResult(output, reply.out))
        return 1;
    reportSignature(session, reply);
    session.say(std::string(command.text ? "Clear signed" : "Signed") + " file: " + output);
    return 0;
}

// Checks that id names exactly one key that may be encrypted to; says why not otherwise.
std::optional<Key> recipientKey(Session& session, const std::string& id)
{
    if (id.empty()) {
        session.say("No recipient user ID was given. Nothing encrypted.");
        return std::nullopt;
    }
    auto listed = session.listKeys(id);
    if (!listed)
        return std::nullopt;
    const auto& keys = *listed;
    if (keys.empty()) {
        session.say("No public key on the key ring matches \"" + id + "\". Nothing encrypted.");
        return std::nullopt;
    }
    if (keys.size() > 1) {
        session.say("\"" + id + "\" matches " + std::to_string(keys.size()) +
                    " keys; give a user ID that names only one of them. Nothing encrypted.");
        session.sayKeyList(keys);
        return std::nullopt;
    }
    const Key& key = keys.front();
    const bool usable = key.capabilities.find('E') != std::string::npos &&
                        key.capabilities.find('D') == std::string::npos;
    const bool valid = key.validity == 'f' || key.validity == 'u';
    if (valid && usable)
        return key;
    session.say("Nothing encrypted: the key of \"" + id + "\" cannot be used.");
    session.sayRaw(keyLine(key));
    if (key.validity == 'r' || key.validity == 'e' || key.validity == 'i' || key.validity == 'd') {
        session.say("  Reason: the key is " + validityWord(key.validity) +
                    ". Ask its owner for a current key.");
    } else if (!usable) {
        session.say("  Reason: the key has no part that may encrypt (it may be expired, revoked "
                    "or disabled). Ask its owner for a current key.");
    } else {
        session.say("  Reason: the key is " + validityWord(key.validity) + ".");
        session.say("  If you have checked this fingerprint with the key's owner, certify the key");
        session.say("  in the Shell of the settings dialog with");
        session.say("    gpg --lsign-key " + key.fingerprint);
        session.say("  and encrypt again.");
    }
    return std::nullopt;
}

int encryptFile(Session& session, const Command& command)
{
    if (command.operands.size() < 2 || !command.armour) {
        session.say("Encrypting takes a file name and a recipient user ID (-ea FILE \"ID\").");
        return 1;
    }
    const std::string& file = command.operands[0];
    std::vector<Key> recipients;
    for (std::size_t i = 1; i < command.operands.size(); ++i) {
        auto key = recipientKey(session, command.operands[i]);
        if (!key)
            return 1;
        recipients.push_back(std::move(*key));
    }
    std::string input;
    if (!session.readInput(file, input))
        return 1;
    std::vector<std::string> arguments = {"--armor", "--encrypt"};
    if (command.sign) {
        arguments.push_back("--sign");
        if (!command.signer.empty())
            arguments.insert(arguments.end(), {"--local-user", command.signer});
    }
    for (const auto& key : recipients)
        arguments.insert(arguments.end(), {"--recipient", key.fingerprint});
    GpgReply reply = session.gpg(arguments, input, command.sign);
    wipeString(input);
    const bool done = reply.has("END_ENCRYPTION") && reply.exitStatus == 0 && !reply.out.empty() &&
                      (!command.sign || reply.has("SIG_CREATED"));
    if (!done) {
        session.say("The text was not encrypted.");
        session.explainFailure(reply);
        return 1;
    }
    const std::string output = command.output.value_or(armourPath(file));
    if (!session.writeResult(output, reply.out))
        return 1;
    session.say("Encrypted to:");
    session.sayKeyList(recipients);
    if (command.sign)
        reportSignature(session, reply);
    session.say("Armoured file: " + output);
    return 0;
}

// Says what the status lines tell of each signature; returns false when one is bad.
bool reportSignatures(Session& session, const GpgReply& reply, bool& anySignature)
{
    bool good = true;
    std::string validKey;
    long long signedAt = 0;
    for (const auto& line : reply.status) {
        if (line.keyword == "VALIDSIG" && line.args.size() >= 3) {
            validKey = line.args[0];
            signedAt = numberOr0(line.args[2]);
        }
    }
    auto rest = [](const StatusLine& line) {
        std::string userId;
        for (std::size_t i = 1; i < line.args.size(); ++i)
            userId += (i > 1 ? " " : "") + line.args[i];
        return userId;
    };
    for (const auto& line : reply.status) {
        const std::string& k = line.keyword;
        if (line.args.empty())
            continue;
        if (k == "GOODSIG" || k == "EXPSIG" || k == "EXPKEYSIG" || k == "REVKEYSIG") {
            anySignature = true;
            session.say("Good signature from \"" + rest(line) + "\".");
            if (!validKey.empty())
                session.say("  Signature made " + formatTime(signedAt) + " with key " +
                            groupedFingerprint(validKey) + ".");
            if (k == "EXPSIG")
                session.say("  Note: the signature itself has expired.");
            if (k == "EXPKEYSIG")
                session.say("  Note: the signing key has expired.");
            if (k == "REVKEYSIG")
                session.say("  WARNING: the signing key has been REVOKED by its owner.");
        } else if (k == "BADSIG") {
            anySignature = true;
            good = false;
            session.say("BAD signature from \"" + rest(line) + "\" (key ID " + line.args[0] + ").");
            session.say("  The text was changed after it was signed, or the signature is "
                        "damaged. Do not trust it.");
        } else if (k == "ERRSIG") {
            anySignature = true;
            const long long signedTime = line.args.size() > 4 ? numberOr0(line.args[4]) : 0;
            if (line.args.size() > 5 && line.args[5] == "9")
                session.say("The signature cannot be checked: key ID " + line.args[0] +
                            " is not on the key ring. Add the signer's public key and check "
                            "again.");
            else
                session.say("The signature of key ID " + line.args[0] +
                            " cannot be checked (gpg error " +
                            (line.args.size() > 5 ? line.args[5] : "?") + ").");
            if (signedTime > 0)
                session.say("  Signature made " + formatTime(signedTime) + ".");
        } else if (k == "TRUST_UNDEFINED" || k == "TRUST_NEVER") {
            session.say("  WARNING: the key is not certified with a trusted signature; it is not "
                        "known that it belongs to the person named.");
        } else if (k == "TRUST_MARGINAL") {
            session.say("  Note: the key is only marginally trusted.");
        }
    }
    return good;
}

int decryptFile(Session& session, const Command& command)
{
    if (command.operands.size() != 1) {
        session.say("Decrypting or checking takes one file name (FILE -o OUTPUT).");
        return 1;
    }
    const std::string& file = command.operands[0];
    std::string input;
    if (!session.readInput(file, input))
        return 1;
    GpgReply reply = session.gpg({"--decrypt"}, input, true);
    wipeString(input);

    const bool encrypted = reply.has("ENC_TO") || reply.has("BEGIN_DECRYPTION");
    for (const auto& line : reply.status)
        if (line.keyword == "ENC_TO" && !line.args.empty())
            session.say("Encrypted to key " + session.describeSigner(line.args[0]) + ".");
    if (encrypted && reply.has("DECRYPTION_OKAY"))
        session.say("Decrypted.");
    bool anySignature = false;
    const bool signaturesGood = reportSignatures(session, reply, anySignature);

    const bool usable = !reply.out.empty() && signaturesGood && !reply.has("DECRYPTION_FAILED") &&
                        !reply.timedOut && !reply.stopped &&
                        (encrypted ? reply.has("DECRYPTION_OKAY") : anySignature);
    if (!usable) {
        if (signaturesGood)
            session.explainFailure(reply);
        session.say("No plain text was written; the text stays as it was.");
        wipeString(reply.out);
        return 1;
    }
    const std::string output = command.output.value_or(plainPath(file));
    const bool written = session.writeResult(output, reply.out);
    wipeString(reply.out);
    if (!written)
        return 1;
    session.say("Plain text file: " + output);
    return reply.exitStatus == 0 ? 0 : 1;
}

int addKeys(Session& session, const Command& command)
{
    if (command.operands.size() != 1) {
        session.say("Adding keys takes one file name (-ka FILE).");
        return 1;
    }
    std::string input;
    if (!session.readInput(command.operands[0], input))
        return 1;
    GpgReply reply = session.gpg({"--import"}, input, true);
    int imported = 0;
    for (const auto& line : reply.status) {
        if (line.keyword == "IMPORT_OK" && line.args.size() >= 2) {
            ++imported;
            const long long reason = numberOr0(line.args[0]);
            std::string what = reason == 0         ? "Already on the key ring, unchanged:"
                               : (reason & 1) != 0 ? "New key added:"
                                                   : "Key updated:";
            if ((reason & 16) != 0)
                what = "Secret key added:";
            session.say(what);
            if (auto key = session.keyFor(line.args[1]))
                session.sayRaw(keyLine(*key));
            else
                session.say("  " + groupedFingerprint(line.args[1]));
        } else if (line.keyword == "IMPORT_PROBLEM" && !line.args.empty()) {
            session.say("A key could not be added (gpg reason " + line.args[0] + ").");
        }
    }
    if (imported == 0) {
        session.say("No keys were added from " + command.operands[0] + ".");
        session.explainFailure(reply);
        return 1;
    }
    return 0;
}

int extractKey(Session& session, const Command& command)
{
    if (command.operands.size() != 2 || command.operands[0].empty()) {
        session.say("Extracting a key takes a user ID and a file name (-kxa \"ID\" FILE).");
        return 1;
    }
    auto listed = session.listKeys(command.operands[0]);
    if (!listed)
        return 1;
    const auto& keys = *listed;
    if (keys.empty()) {
        session.say("No public key on the key ring matches \"" + command.operands[0] + "\".");
        return 1;
    }
    std::vector<std::string> arguments = {"--armor", "--export", "--"};
    for (const auto& key : keys)
        arguments.push_back(key.fingerprint);
    GpgReply reply = session.gpg(arguments);
    if (reply.out.empty() || reply.exitStatus != 0) {
        session.say("The key was not extracted.");
        session.explainFailure(reply);
        return 1;
    }
    if (!session.writeResult(command.operands[1], reply.out))
        return 1;
    session.say("Public key extracted to " + command.operands[1] + ":");
    session.sayKeyList(keys);
    return 0;
}

int viewKeys(Session& session, const Command& command)
{
    const std::string pattern = command.operands.empty() ? "" : command.operands[0];
    auto listed = session.listKeys(pattern);
    if (!listed)
        return 1;
    const auto& keys = *listed;
    for (const auto& key : keys) {
        std::string head =
            "pub   " + algorithmName(key) + " " + formatDate(key.created) + " " + key.keyId;
        if (key.validity == 'r' || key.validity == 'e')
            head += " [" + validityWord(key.validity) + "]";
        else if (key.expires > 0)
            head += " [expires " + formatDate(key.expires) + "]";
        session.say(head);
        if (command.keyCommand == 'c')
            session.say("      Key fingerprint = " + groupedFingerprint(key.fingerprint));
        for (const auto& userId : key.userIds)
            session.say("uid   " + userId);
    }
    if (keys.empty() && !pattern.empty()) {
        session.say("No key on the key ring matches \"" + pattern + "\".");
        return 1;
    }
    session.say(std::to_string(keys.size()) + (keys.size() == 1 ? " key" : " keys") + " found.");
    return 0;
}

int removeKey(Session& session, const Command& command)
{
    if (command.operands.size() != 1 || command.operands[0].empty()) {
        session.say("Removing a key takes one user ID (-kr \"ID\"). Nothing removed.");
        return 1;
    }
    const std::string& id = command.operands[0];
    auto listed = session.listKeys(id);
    if (!listed)
        return 1;
    const auto& keys = *listed;
    if (keys.empty()) {
        session.say("No public key on the key ring matches \"" + id + "\". Nothing removed.");
        return 1;
    }
    if (keys.size() > 1) {
        session.say("\"" + id + "\" matches " + std::to_string(keys.size()) +
                    " keys; give a user ID that names only one of them. Nothing removed.");
        session.sayKeyList(keys);
        return 1;
    }
    const Key& key = keys.front();
    const auto secretKeys = session.listKeys(key.fingerprint, true);
    if (!secretKeys)
        return 1;
    if (!secretKeys->empty()) {
        session.say("This key has a secret key on the key ring, so it is not removed:");
        session.sayRaw(keyLine(key));
        session.say("A deleted secret key cannot be got back. If you really mean to delete it,");
        session.say("use the Shell of the settings dialog:");
        session.say("  gpg --delete-secret-and-public-key " + key.fingerprint);
        return 1;
    }
    GpgReply reply = session.gpg({"--yes", "--delete-keys", "--", key.fingerprint});
    if (reply.exitStatus != 0 || reply.has("DELETE_PROBLEM")) {
        session.say("The key was not removed.");
        session.explainFailure(reply);
        return 1;
    }
    session.say("Key removed from the key ring:");
    session.sayRaw(keyLine(key));
    return 0;
}

} // namespace

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

int runPgpCommand(const std::vector<std::string>& words, const FrontEndOptions& options,
                  std::string& console)
{
    Command command;
    std::string error;
    const bool parsed = parseCommand(words, command, error);
    Session session(options, console);
    if (!parsed) {
        session.say(error);
        return 1;
    }
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
    case 'x':
        return extractKey(session, command);
    case 'v':
    case 'c':
        return viewKeys(session, command);
    case 'a':
        return addKeys(session, command);
    case 'r':
        return removeKey(session, command);
    default:
        break;
    }
    if (command.encrypt)
        return encryptFile(session, command);
    if (command.sign)
        return signFile(session, command);
    return decryptFile(session, command);
}

} // namespace kestrova::pgp
