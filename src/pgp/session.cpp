#include "pgp/session.h"

#include "io/files.h"
#include "io/wholefile.h"

#include <sys/stat.h>

namespace kestrova::pgp {

namespace {

// gpg 2.2 with loopback reports a wrong pass phrase as this error code (GPG_ERR_BAD_PASSPHRASE
// in the low 16 bits) of a FAILURE or ERROR line; older ones say BAD_PASSPHRASE.
constexpr long long kBadPassPhraseCode = 11;
// GPG_ERR_NO_PASSPHRASE: what an empty pass phrase through the pipe gives.
constexpr long long kNoPassPhraseCode = 177;

// gpg-connect-agent lies beside the gpg that is used, so both speak to the same agent.
std::string besideProgram(const std::string& program, std::string_view name)
{
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos ? std::string()
                                      : program.substr(0, slash + 1) + std::string(name);
}

} // namespace

std::string armourPath(const std::string& input)
{
    const std::size_t slash = input.rfind('/');
    const std::size_t dot = input.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return input + ".ASC";
    return input.substr(0, dot + 1) + "ASC";
}

std::string plainPath(const std::string& input)
{
    const std::size_t slash = input.rfind('/');
    const std::size_t dot = input.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == 0)
        return input + ".out";
    return input.substr(0, dot);
}

Session::Session(const FrontEndOptions& options, std::string& console)
    : m_options(options)
    , m_console(console)
{
    // Never the batch's PATH: the batch puts the PGP folder first, and a program named gpg
    // there would be handed the pass phrase.
    m_program = findProgram("gpg", options.programPath.empty() ? std::string_view("/usr/bin:/bin")
                                                               : options.programPath);
    m_environment = gpgEnvironment(options.variables);
}

Session::~Session() { wipeString(m_passPhrase); }

void Session::usePassPhrase(const std::optional<SecretString>& given)
{
    if (given) {
        m_passPhrase = *given;
        m_hasPassPhrase = true;
    } else if (auto fromEnvironment = findVariable(m_options.variables, "PGPPASS");
               fromEnvironment && !fromEnvironment->empty()) {
        m_passPhrase = secret(*fromEnvironment);
        wipeString(*fromEnvironment);
        m_hasPassPhrase = true;
    }
}

GpgReply Session::gpg(const std::vector<std::string>& arguments, std::string_view input,
                      bool needsPassPhrase)
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
        forgetUnlockedKeys();
    }
    call.arguments.insert(call.arguments.end(), arguments.begin(), arguments.end());
    call.environment = m_environment;
    call.input = input;
    call.timeLimit = m_options.timeLimit;
    call.stop = m_options.stop;
    GpgReply reply = runGpg(call);
    if (call.passPhrase)
        wipeString(*call.passPhrase);
    if (needsPassPhrase)
        forgetUnlockedKeys();
    return reply;
}

void Session::forgetUnlockedKeys()
{
    // The agent keeps a key unlocked after its first use and would then sign with any pass
    // phrase, even a wrong one. The pass phrase given for this command must be the one that
    // counts: clear every secret key of this home from the agent's cache.
    const auto secretKeys = listKeys({}, true);
    const std::string connect = besideProgram(m_program, "gpg-connect-agent");
    if (!secretKeys || secretKeys->empty() || connect.empty())
        return;
    std::string commands;
    for (const auto& key : *secretKeys)
        for (const auto& keygrip : key.keygrips)
            commands += "CLEAR_PASSPHRASE --mode=normal " + keygrip + "\n";
    commands += "/bye\n";
    GpgCall call;
    call.program = connect;
    call.arguments = {"--no-autostart"}; // no agent running: nothing is unlocked
    call.environment = m_environment;
    call.input = commands;
    call.timeLimit = m_options.timeLimit;
    call.stop = m_options.stop;
    (void)runGpg(call); // it answers OK or "not found" per key; either way none stays unlocked
}

std::optional<std::vector<Key>> Session::listKeys(const std::string& pattern, bool secret)
{
    std::vector<std::string> arguments = {"--with-colons", "--fixed-list-mode",
                                          "--with-fingerprint", "--with-keygrip",
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

std::optional<Key> Session::keyFor(const std::string& pattern)
{
    auto keys = listKeys(pattern);
    if (!keys || keys->empty())
        return std::nullopt;
    return keys->front();
}

void Session::sayKeyList(const std::vector<Key>& keys)
{
    for (const auto& key : keys)
        sayRaw(keyLine(key));
}

void Session::explainFailure(const GpgReply& reply)
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
    bool badPassPhrase = reply.has("BAD_PASSPHRASE");
    bool emptyPassPhrase = false;
    for (const auto& line : reply.status) {
        if ((line.keyword != "FAILURE" && line.keyword != "ERROR") || line.args.empty())
            continue;
        const long long code = numberOr0(line.args.back()) & 0xFFFF;
        badPassPhrase = badPassPhrase || code == kBadPassPhraseCode;
        emptyPassPhrase = emptyPassPhrase ||
                          (code == kNoPassPhraseCode && m_hasPassPhrase && m_passPhrase.empty());
    }
    if (badPassPhrase)
        say("Bad pass phrase.");
    else if (emptyPassPhrase)
        say("Bad pass phrase: it was empty, and the secret key needs one.");
    else if (reply.has("MISSING_PASSPHRASE") || (reply.has("NEED_PASSPHRASE") && !m_hasPassPhrase))
        say("No pass phrase was given, and the secret key needs one.");
    for (const auto& line : reply.status) {
        if (line.keyword == "INV_SGNR" && line.args.size() >= 2)
            say("No usable secret key for \"" + line.args[1] +
                "\": " + invalidKeyReason(line.args[0]) + ".");
        else if (line.keyword == "INV_RECP" && line.args.size() >= 2)
            say("Cannot encrypt to \"" + line.args[1] + "\": " + invalidKeyReason(line.args[0]) +
                ".");
        else if (line.keyword == "NO_SECKEY" && !line.args.empty())
            say("No secret key on this key ring for key ID " + line.args[0] + ".");
    }
    if (reply.has("DECRYPTION_FAILED"))
        say("Decryption failed.");
    if (reply.has("NODATA"))
        say("No PGP data found: the text is not signed or encrypted, or its armour is damaged.");
    if (!reply.err.empty()) {
        say("gpg reported:");
        sayRaw(reply.err.ends_with('\n') ? reply.err : reply.err + "\n");
    }
}

std::string Session::describeSigner(const std::string& fingerprintOrId)
{
    if (auto key = keyFor(fingerprintOrId))
        return groupedFingerprint(key->fingerprint) + " \"" + primaryUserId(*key) + "\"";
    return fingerprintOrId;
}

bool Session::readInput(const std::string& path, std::string& bytes)
{
    auto read = io::readWholeFile(path);
    if (!read) {
        say("Cannot read " + path + ": " + read.error().reason + ".");
        return false;
    }
    if (!*read) {
        say("Cannot read " + path + ": there is no such file.");
        return false;
    }
    bytes = std::move(**read);
    return true;
}

bool Session::writeResult(const std::string& path, std::string_view bytes)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) == 0) {
        std::string refusal;
        if (S_ISLNK(st.st_mode))
            refusal = path + " is a symbolic link; it is not followed. Nothing written.";
        else if (!S_ISREG(st.st_mode))
            refusal = path + " is not a regular file. Nothing written.";
        else if (!force)
            refusal = "Output file " + path + " already exists; +force replaces it.";
        if (!refusal.empty()) {
            say(refusal);
            return false;
        }
        // It may hold an earlier run's plain text: zeroed, not just unlinked.
        if (auto wiped = io::WipeFile(path, io::WipeMode::ZeroThenDelete); !wiped) {
            say("Cannot replace " + path + ": " + wiped.error().reason + ".");
            return false;
        }
    }
    if (auto written = io::replaceWholeFile(path, bytes, {io::LinkAtPath::Replace, true, {}});
        !written) {
        say("Cannot write " + path + ": " + written.error().reason + ".");
        return false;
    }
    return true;
}

} // namespace kestrova::pgp
