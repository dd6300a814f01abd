#include "tray/trayjobs.h"

#include <cstdlib>

namespace kestrova::tray {

namespace {

using pgp::GpgReply;
using pgp::StatusLine;

constexpr std::string_view kKeyBlock = "-----BEGIN PGP PUBLIC KEY BLOCK-----";
constexpr std::string_view kKeyBlockEnd = "-----END PGP PUBLIC KEY BLOCK-----";
constexpr std::string_view kMessage = "-----BEGIN PGP MESSAGE-----";
constexpr std::string_view kSigned = "-----BEGIN PGP SIGNED MESSAGE-----";

GpgReply run(const TrayGpg& gpg, std::vector<std::string> arguments, std::string_view input)
{
    pgp::GpgCall call;
    call.program = gpg.program;
    // The agent asks for a pass phrase with its graphical pinentry on the session's display;
    // gpg itself never asks, and never on a terminal.
    call.arguments = {"--batch",         "--no-tty", "--status-fd", std::to_string(pgp::kStatusFd),
                      "--pinentry-mode", "ask",      "--yes"};
    call.arguments.insert(call.arguments.end(), arguments.begin(), arguments.end());
    call.environment = gpg.environment;
    call.input = input;
    call.timeLimit = gpg.timeLimit;
    call.stop = gpg.stop;
    return pgp::runGpg(call);
}

std::string argsFrom(const StatusLine& line, std::size_t first)
{
    std::string joined;
    for (std::size_t i = first; i < line.args.size(); ++i)
        joined += (i > first ? " " : "") + line.args[i];
    return joined;
}

// What went wrong, from the status lines first, then gpg's own last words.
std::string failureWords(const GpgReply& reply)
{
    if (!reply.started)
        return "gpg を起動できませんでした: " + reply.startError + "\n";
    if (reply.stopped)
        return "中止しました。\n";
    if (reply.timedOut)
        return "gpg が時間内に終わらなかったので、中止しました。\n";
    std::string words;
    for (const StatusLine& line : reply.status) {
        const std::string& k = line.keyword;
        if (k == "PINENTRY_LAUNCHED")
            continue;
        if (k == "NO_SECKEY")
            words += "この文を開ける秘密鍵がありません (鍵 ID " + argsFrom(line, 0) + ")。\n";
        else if (k == "INV_SGNR")
            words +=
                "署名に使える鍵がありません: " + pgp::invalidKeyReason(argsFrom(line, 0)) + "\n";
        else if (k == "INV_RECP")
            words += "受取人の鍵を使えません: " +
                     pgp::invalidKeyReason(line.args.empty() ? "" : line.args[0]) + "\n";
        else if (k == "NODATA" || k == "NO_DATA")
            words += "PGP の文が見つかりません。\n";
        else if (k == "FAILURE" && line.args.size() >= 2 && line.args[1] == "83886179")
            words += "パスフレーズの入力が取り消されました。\n";
        else if (k == "BAD_PASSPHRASE")
            words += "パスフレーズが違います。\n";
    }
    if (words.empty())
        words = "gpg の処理に失敗しました。\n";
    if (!reply.err.empty())
        words += "gpg の報告:\n" + reply.err;
    return words;
}

// One line for each signature of the text, in the order gpg checked them.
std::string signatureWords(const GpgReply& reply, bool& anyBad)
{
    std::string words;
    const StatusLine* verdict = nullptr;
    const auto flush = [&](const StatusLine* valid) {
        if (!verdict)
            return;
        const std::string& k = verdict->keyword;
        if (k == "BADSIG") {
            anyBad = true;
            words += "不正な署名: \"" + argsFrom(*verdict, 1) + "\" (鍵 ID " + verdict->args[0] +
                     ")。署名の後で文が変えられています。\n";
        } else if (k == "ERRSIG") {
            anyBad = true;
            words += "確かめられない署名: 鍵 ID " + verdict->args[0] +
                     (verdict->args.size() > 5 && verdict->args[5] == "9"
                          ? " の公開鍵が鍵束にありません。\n"
                          : " (gpg のエラー)。\n");
        } else {
            words += "正しい署名: \"" + argsFrom(*verdict, 1) + "\"";
            if (valid)
                words += "、" + pgp::formatTime(pgp::numberOr0(valid->args[2])) + "、鍵 " +
                         pgp::groupedFingerprint(valid->args[0]);
            if (k == "EXPKEYSIG")
                words += " (鍵の有効期限切れ)";
            if (k == "REVKEYSIG")
                words += " (鍵は失効しています)";
            words += "\n";
        }
        verdict = nullptr;
    };
    const StatusLine* valid = nullptr;
    for (const StatusLine& line : reply.status) {
        const std::string& k = line.keyword;
        if (line.args.empty())
            continue;
        if (k == "GOODSIG" || k == "EXPSIG" || k == "EXPKEYSIG" || k == "REVKEYSIG" ||
            k == "BADSIG" || k == "ERRSIG") {
            flush(valid);
            verdict = &line;
            valid = nullptr;
        } else if (k == "VALIDSIG" && line.args.size() >= 3) {
            valid = &line;
        }
    }
    flush(valid);
    return words;
}

std::string importWords(const GpgReply& reply, int& imported)
{
    std::string words;
    for (const StatusLine& line : reply.status) {
        if (line.keyword == "IMPORT_OK" && line.args.size() >= 2) {
            ++imported;
            const long long reason = pgp::numberOr0(line.args[0]);
            words += reason == 0 ? "変更なし (既に鍵束にあります): " : "鍵を追加しました: ";
            words += pgp::groupedFingerprint(line.args[1]) + "\n";
        } else if (line.keyword == "IMPORT_PROBLEM") {
            words += "追加できない鍵がありました (gpg の理由 " + argsFrom(line, 0) + ")。\n";
        }
    }
    return words;
}

} // namespace

TrayGpg trayGpgFromEnvironment()
{
    TrayGpg gpg;
    const char* path = std::getenv("PATH");
    gpg.program = pgp::findProgram("gpg", path ? path : "/usr/bin:/bin");
    for (const char* name : {"HOME", "PATH", "GNUPGHOME", "DISPLAY", "XAUTHORITY",
                             "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS",
                             "LANG", "LC_ALL", "LC_CTYPE", "LC_MESSAGES", "TZ", "GPG_AGENT_INFO"}) {
        if (const char* value = std::getenv(name))
            gpg.environment.push_back(std::string(name) + "=" + value);
    }
    return gpg;
}

JobResult clearSign(const TrayGpg& gpg, std::string_view text)
{
    const GpgReply reply = run(gpg, {"--clearsign"}, text);
    if (reply.exitStatus != 0 || !reply.has("SIG_CREATED") || reply.out.empty())
        return {
            .ok = false, .output = {}, .report = "署名できませんでした。\n" + failureWords(reply)};
    return {.ok = true, .output = reply.out, .report = "署名しました。\n"};
}

JobResult encryptText(const TrayGpg& gpg, std::string_view text,
                      const std::vector<std::string>& recipients, bool sign)
{
    std::vector<std::string> arguments = {"--armor"};
    for (const std::string& recipient : recipients)
        arguments.insert(arguments.end(), {"--recipient", recipient});
    if (sign)
        arguments.push_back("--sign");
    arguments.push_back("--encrypt");
    const GpgReply reply = run(gpg, arguments, text);
    if (reply.exitStatus != 0 || !reply.has("END_ENCRYPTION") || reply.out.empty() ||
        (sign && !reply.has("SIG_CREATED")))
        return {.ok = false,
                .output = {},
                .report = "暗号化できませんでした。\n" + failureWords(reply)};
    std::string report = sign ? "暗号化して署名しました。受取人:\n" : "暗号化しました。受取人:\n";
    for (const std::string& recipient : recipients)
        report += "  " + pgp::groupedFingerprint(recipient) + "\n";
    return {.ok = true, .output = reply.out, .report = report};
}

JobResult checkText(const TrayGpg& gpg, std::string_view text, bool importKeys)
{
    JobResult keys;
    const bool hasKeys = text.find(kKeyBlock) != std::string_view::npos;
    if (importKeys && hasKeys) {
        const std::size_t from = text.find(kKeyBlock);
        const std::size_t end = text.find(kKeyBlockEnd, from);
        const std::size_t to =
            end == std::string_view::npos ? text.size() : end + kKeyBlockEnd.size();
        keys = tray::importKeys(gpg, text.substr(from, to - from));
    }
    const bool hasMessage = text.find(kMessage) != std::string_view::npos ||
                            text.find(kSigned) != std::string_view::npos;
    if (importKeys && hasKeys && !hasMessage)
        return {.ok = keys.ok, .output = std::string(text), .report = keys.report};

    const GpgReply reply = run(gpg, {"--decrypt"}, text);
    bool anyBad = false;
    std::string report = keys.report + signatureWords(reply, anyBad);
    const bool decrypted = reply.has("DECRYPTION_OKAY");
    if (reply.exitStatus != 0 || anyBad || reply.has("DECRYPTION_FAILED") ||
        (!decrypted && !reply.has("GOODSIG")))
        return {.ok = false, .output = {}, .report = report + failureWords(reply)};
    if (decrypted)
        report = "復号しました。\n" + report;
    return {.ok = true, .output = reply.out, .report = report};
}

JobResult importKeys(const TrayGpg& gpg, std::string_view text)
{
    const GpgReply reply = run(gpg, {"--import"}, text);
    int imported = 0;
    std::string report = importWords(reply, imported);
    if (imported == 0)
        return {.ok = false,
                .output = {},
                .report = report + "鍵を追加できませんでした。\n" + failureWords(reply)};
    return {.ok = true, .output = std::string(text), .report = report};
}

std::optional<std::vector<pgp::Key>> listPublicKeys(const TrayGpg& gpg, std::string* why)
{
    const GpgReply reply =
        run(gpg, {"--with-colons", "--fixed-list-mode", "--with-fingerprint", "--list-keys"}, {});
    if (reply.exitStatus != 0 && reply.out.empty()) {
        if (why)
            *why = failureWords(reply);
        return std::nullopt;
    }
    return pgp::parseKeyListing(reply.out);
}

std::string whyNotUsable(const pgp::Key& key, long long now)
{
    if (key.validity == 'r')
        return "失効しています";
    if (key.validity == 'e' || (key.expires > 0 && key.expires <= now))
        return "有効期限が切れています";
    if (key.validity == 'i')
        return "鍵が壊れています";
    if (key.capabilities.find('D') != std::string::npos)
        return "使用不可にされています";
    if (key.capabilities.find('E') == std::string::npos)
        return "暗号化に使える副鍵がありません";
    return {};
}

} // namespace kestrova::tray
