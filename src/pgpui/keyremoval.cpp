#include "pgpui/keyremoval.h"

#include "io/textcodec.h"
#include "pgp/batchlang.h"
#include "pgp/frontend.h"
#include "pgp/gpgrun.h"
#include "pgp/interpreter.h"
#include "platform/messages.h"
#include "platform/qtext.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdlib>

namespace kestrova::pgpui {

namespace {

// A listing of the local key ring: no key server is asked, so a few seconds are plenty.
constexpr std::chrono::seconds kListTimeLimit{30};

std::vector<std::string> splitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = line.find(':', start);
        fields.push_back(line.substr(start, colon - start));
        if (colon == std::string::npos)
            return fields;
        start = colon + 1;
    }
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// gpg writes a ":" or a control character inside a user ID as \xNN.
std::string unescapeField(const std::string& field)
{
    std::string plain;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x' &&
            hexDigit(field[i + 2]) >= 0 && hexDigit(field[i + 3]) >= 0) {
            plain.push_back(
                static_cast<char>(hexDigit(field[i + 2]) * 16 + hexDigit(field[i + 3])));
            i += 3;
        } else {
            plain.push_back(field[i]);
        }
    }
    return plain;
}

// The fingerprints gpg lists under "pub" records, with the user IDs of each.
std::vector<RingKey> parseListing(const std::string& listing)
{
    std::vector<RingKey> keys;
    bool fingerprintDue = false;
    std::size_t start = 0;
    while (start < listing.size()) {
        std::size_t end = listing.find('\n', start);
        if (end == std::string::npos)
            end = listing.size();
        const std::vector<std::string> fields = splitFields(listing.substr(start, end - start));
        start = end + 1;
        const std::string& type = fields.front();
        if (type == "pub" || type == "sec") {
            keys.emplace_back();
            fingerprintDue = true;
        } else if (type == "sub" || type == "ssb") {
            fingerprintDue = false;
        } else if (type == "fpr" && fingerprintDue && fields.size() > 9 && !keys.empty()) {
            keys.back().fingerprint = fields[9];
            fingerprintDue = false;
        } else if (type == "uid" && fields.size() > 9 && !keys.empty()) {
            keys.back().userIds.push_back(io::decodeUtf8(unescapeField(fields[9])));
        }
    }
    return keys;
}

std::optional<std::vector<RingKey>> listKeys(const std::string& program,
                                             const std::vector<std::string>& environment,
                                             const std::string& pattern, bool secret)
{
    pgp::GpgCall call;
    call.program = program;
    call.arguments = {"--batch",
                      "--no-tty",
                      "--with-colons",
                      "--fixed-list-mode",
                      secret ? "--list-secret-keys" : "--list-keys",
                      "--",
                      pattern};
    call.environment = environment;
    call.timeLimit = kListTimeLimit;
    const pgp::GpgReply reply = pgp::runGpg(call);
    if (!reply.started || reply.timedOut)
        return std::nullopt;
    // A pattern no key matches ends gpg with a failure and an empty listing.
    return parseListing(reply.out);
}

// "ABCD EF01 …", as the key listings show a fingerprint.
QString groupedFingerprint(const std::string& fingerprint)
{
    QString grouped;
    for (std::size_t i = 0; i < fingerprint.size(); i += 4) {
        if (i > 0) // the halves stand apart, as in the key listings
            grouped += i == 20 ? QStringLiteral("  ") : QStringLiteral(" ");
        grouped += QString::fromStdString(fingerprint.substr(i, 4));
    }
    return grouped;
}

} // namespace

std::string keyRingOf(std::string_view word, const pgp::BatchRunContext& context)
{
    const pgp::BatchPlan plan = pgp::planBatchRun(word, context.settings, context.overrides,
                                                  context.environment, context.tempDir);
    return plan.pgpFolder.empty() ? context.environment.PGPPATH : plan.pgpFolder;
}

std::optional<std::vector<RingKey>> keysNamed(std::u16string_view id, const std::string& folder)
{
    pgp::Variables variables = pgp::environmentVariables();
    if (!folder.empty())
        variables["PGPPATH"] = folder;
    const char* path = std::getenv("PATH");
    const std::string program = pgp::findProgram("gpg", path ? path : "");
    if (program.empty())
        return std::nullopt;
    const std::vector<std::string> environment = pgp::gpgEnvironment(variables);
    auto keys = listKeys(program, environment, io::encodeUtf8(id), false);
    if (!keys)
        return std::nullopt;
    for (RingKey& key : *keys) {
        const auto secret = listKeys(program, environment, key.fingerprint, true);
        key.hasSecret = !secret || !secret->empty();
    }
    return keys;
}

QString removalQuestion(const RingKey& key)
{
    QStringList named;
    for (const auto& userId : key.userIds)
        named.push_back(QStringLiteral("「%1」").arg(platform::toQString(userId)));
    return QStringLiteral("公開鍵%1\n（指紋 %2）を削除しますか？")
        .arg(named.join(QStringLiteral("、")), groupedFingerprint(key.fingerprint));
}

bool mayRemoveKey(std::u16string_view id, const std::string& folder, QWidget* parent)
{
    const auto keys = keysNamed(id, folder);
    if (!keys || keys->size() != 1 || keys->front().hasSecret)
        return true;
    return platform::askYesNo(parent, removalQuestion(keys->front()));
}

} // namespace kestrova::pgpui
