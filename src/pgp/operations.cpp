#include "pgp/operations.h"

#include "io/textcodec.h"
#include "pgp/lines.h"

#include <algorithm>

namespace kestrova::pgp {

namespace {

void reportSignature(Session& session, const GpgReply& reply)
{
    if (const StatusLine* created = reply.find("SIG_CREATED"); created && created->args.size() >= 6)
        session.say("Signature made " + formatTime(numberOr0(created->args[4])) + " with key " +
                    session.describeSigner(created->args[5]) + ".");
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

// One signature as the status lines between its GOODSIG (or BADSIG, ERRSIG...) and the next
// one tell it: VALIDSIG and TRUST_ lines follow the line they belong to.
struct SignatureReport
{
    const StatusLine* verdict = nullptr;
    const StatusLine* valid = nullptr;
    const StatusLine* trust = nullptr;
};

std::vector<SignatureReport> signaturesOf(const GpgReply& reply)
{
    std::vector<SignatureReport> signatures;
    for (const auto& line : reply.status) {
        const std::string& k = line.keyword;
        if (line.args.empty())
            continue;
        if (k == "GOODSIG" || k == "EXPSIG" || k == "EXPKEYSIG" || k == "REVKEYSIG" ||
            k == "BADSIG" || k == "ERRSIG")
            signatures.push_back({&line, nullptr, nullptr});
        else if (signatures.empty())
            continue;
        else if (k == "VALIDSIG" && line.args.size() >= 3)
            signatures.back().valid = &line;
        else if (k.starts_with("TRUST_"))
            signatures.back().trust = &line;
    }
    return signatures;
}

// Says what the status lines tell of each signature; returns false when one is bad.
bool reportSignatures(Session& session, const GpgReply& reply, bool& anySignature)
{
    bool good = true;
    auto rest = [](const StatusLine& line) {
        std::string userId;
        for (std::size_t i = 1; i < line.args.size(); ++i)
            userId += (i > 1 ? " " : "") + line.args[i];
        return userId;
    };
    for (const SignatureReport& signature : signaturesOf(reply)) {
        anySignature = true;
        const StatusLine& line = *signature.verdict;
        const std::string& k = line.keyword;
        if (k == "BADSIG") {
            good = false;
            session.say("BAD signature from \"" + rest(line) + "\" (key ID " + line.args[0] + ").");
            session.say("  The text was changed after it was signed, or the signature is "
                        "damaged. Do not trust it.");
            continue;
        }
        if (k == "ERRSIG") {
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
            continue;
        }
        session.say("Good signature from \"" + rest(line) + "\".");
        if (signature.valid)
            session.say("  Signature made " + formatTime(numberOr0(signature.valid->args[2])) +
                        " with key " + groupedFingerprint(signature.valid->args[0]) + ".");
        if (k == "EXPSIG")
            session.say("  Note: the signature itself has expired.");
        if (k == "EXPKEYSIG")
            session.say("  Note: the signing key has expired.");
        if (k == "REVKEYSIG")
            session.say("  WARNING: the signing key has been REVOKED by its owner.");
        if (const StatusLine* trust = signature.trust) {
            if (trust->keyword == "TRUST_UNDEFINED" || trust->keyword == "TRUST_NEVER")
                session.say("  WARNING: the key is not certified with a trusted signature; it "
                            "is not known that it belongs to the person named.");
            else if (trust->keyword == "TRUST_MARGINAL")
                session.say("  Note: the key is only marginally trusted.");
        }
    }
    return good;
}

// Decrypts or checks one piece of PGP data; the plain text is added to plain when it is
// usable, else the reason is said and false returned.
bool decryptPiece(Session& session, std::string_view piece, std::string& plain)
{
    GpgReply reply = session.gpg({"--decrypt"}, piece, true);
    // A text checked as ISO-2022-JP may have been signed as UTF-8: its converted form is then
    // not what was signed. Only a signature good for one of the two forms is good.
    if (reply.has("BADSIG") && piece.find('\x1B') != std::string_view::npos) {
        if (auto decoded = io::decodeText(piece, true)) {
            std::string utf8 = io::encodeUtf8(decoded->text);
            GpgReply asUtf8 = session.gpg({"--decrypt"}, utf8, true);
            wipeString(utf8);
            if (!asUtf8.has("BADSIG") && asUtf8.exitStatus == 0) {
                wipeString(reply.out);
                reply = std::move(asUtf8);
                session.say("The signature covers the text in UTF-8, not in ISO-2022-JP.");
            } else {
                wipeString(asUtf8.out);
            }
        }
    } else if (reply.has("GOODSIG") && piece.find('\x1B') != std::string_view::npos) {
        session.say("The signature covers the text in ISO-2022-JP.");
    }
    const bool encrypted = reply.has("ENC_TO") || reply.has("BEGIN_DECRYPTION");
    for (const auto& line : reply.status)
        if (line.keyword == "ENC_TO" && !line.args.empty())
            session.say("Encrypted to key " + session.describeSigner(line.args[0]) + ".");
    if (encrypted && reply.has("DECRYPTION_OKAY"))
        session.say("Decrypted.");
    bool anySignature = false;
    const bool signaturesGood = reportSignatures(session, reply, anySignature);

    const bool usable = !reply.out.empty() && signaturesGood && !reply.has("DECRYPTION_FAILED") &&
                        !reply.timedOut && !reply.stopped && reply.exitStatus == 0 &&
                        (encrypted ? reply.has("DECRYPTION_OKAY") : anySignature);
    if (!usable && signaturesGood)
        session.explainFailure(reply);
    if (usable)
        plain += reply.out;
    wipeString(reply.out);
    return usable;
}

// The one file the command names, read into bytes; false, said why (usage when the command
// does not name exactly one), otherwise.
bool readSoleFile(Session& session, const Command& command, const std::string& usage,
                  std::string& bytes)
{
    if (command.operands.size() != 1) {
        session.say(usage);
        return false;
    }
    return session.readInput(command.operands[0], bytes);
}

} // namespace

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

int decryptFile(Session& session, const Command& command)
{
    std::string input;
    if (!readSoleFile(session, command,
                      "Decrypting or checking takes one file name (FILE -o OUTPUT).", input))
        return 1;
    const std::string& file = command.operands[0];

    // gpg checks only the first clear-signed block of a text and drops the rest without a
    // word: each block is checked on its own, and any bad one refuses the whole text.
    SignedBlocks blocks = clearSignedBlocks(input);
    if (input.find("-----BEGIN PGP MESSAGE-----") != std::string::npos)
        blocks = {}; // an encrypted message is gpg's to take apart

    std::string plain;
    bool usable = true;
    if (blocks.blocks.size() > 1 || (blocks.blocks.size() == 1 && blocks.linesOutside > 0)) {
        for (std::size_t i = 0; i < blocks.blocks.size() && usable; ++i) {
            session.say("Signed block " + std::to_string(i + 1) + " of " +
                        std::to_string(blocks.blocks.size()) + ":");
            usable = decryptPiece(session, blocks.blocks[i], plain);
        }
    } else {
        usable = decryptPiece(session, input, plain);
    }
    wipeString(input);
    if (!usable) {
        session.say("No plain text was written; the text stays as it was.");
        wipeString(plain);
        return 1;
    }
    const std::string output = command.output.value_or(plainPath(file));
    const bool written = session.writeResult(output, plain);
    wipeString(plain);
    if (!written)
        return 1;
    if (blocks.linesOutside > 0)
        session.say(std::to_string(blocks.linesOutside) +
                    (blocks.linesOutside == 1 ? " line" : " lines") +
                    " outside the signed blocks removed: they were not signed.");
    session.say("Plain text file: " + output);
    return 0;
}

int addKeys(Session& session, const Command& command)
{
    std::string input;
    if (!readSoleFile(session, command, "Adding keys takes one file name (-ka FILE).", input))
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
        if (command.keyCommand == KeyCommand::ViewFingerprints)
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

SignedBlocks clearSignedBlocks(std::string_view text)
{
    constexpr std::string_view begin = "-----BEGIN PGP SIGNED MESSAGE-----";
    constexpr std::string_view end = "-----END PGP SIGNATURE-----";
    SignedBlocks found;
    std::size_t blockStart = std::string_view::npos;
    std::size_t position = 0;
    for (std::string_view line : splitLines(text)) {
        const std::size_t lineStart = position;
        position += line.size() + 1;
        if (blockStart == std::string_view::npos && line.starts_with(begin)) {
            blockStart = lineStart;
        } else if (blockStart != std::string_view::npos && line.starts_with(end)) {
            found.blocks.push_back(
                text.substr(blockStart, std::min(position, text.size()) - blockStart));
            blockStart = std::string_view::npos;
        } else if (blockStart == std::string_view::npos &&
                   line.find_first_not_of(" \t\r") != std::string_view::npos) {
            ++found.linesOutside;
        }
    }
    return found;
}

} // namespace kestrova::pgp
