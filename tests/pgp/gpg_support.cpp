#include "gpg_support.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrova::test {

namespace fs = std::filesystem;

TempFolder::TempFolder(const std::string& prefix)
{
    std::string pattern = prefix + "XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempFolder::~TempFolder()
{
    // An agent that was just told to end may still write its last files here: try again.
    for (int attempt = 0; attempt < 50; ++attempt) {
        std::error_code ignored;
        fs::remove_all(path, ignored);
        if (!fs::exists(path, ignored))
            return;
        ::usleep(20000);
    }
}

std::vector<std::string> TempFolder::names() const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

GpgHome::GpgHome(AgentCache cache)
{
    // A low S2K count spares the agent its calibration and slow key unlocking on a busy
    // machine; the keys die with the test.
    writeFile(path + "/gpg-agent.conf", cache == AgentCache::Off
                                            ? "default-cache-ttl 0\nmax-cache-ttl 0\n"
                                              "s2k-count 65536\n"
                                            : "s2k-count 65536\n");
}

GpgHome::~GpgHome() { runProcess("/usr/bin/gpgconf", {"--homedir", path, "--kill", "all"}, ""); }

ProcessResult GpgHome::gpg(const std::vector<std::string>& args, const std::string& input)
{
    std::vector<std::string> all = {"--homedir", path, "--batch", "--no-tty"};
    all.insert(all.end(), args.begin(), args.end());
    return runProcess("/usr/bin/gpg", all, input);
}

std::string GpgHome::makeKey(const std::string& userId, const std::string& passPhrase,
                             const std::vector<std::string>& options, const std::string& expire)
{
    // Through a pipe: a test scanning the process list for the pass phrase may run meanwhile.
    std::vector<std::string> args = options;
    args.insert(args.end(), {"--pinentry-mode", "loopback", "--passphrase-fd", "0",
                             "--quick-gen-key", userId, "future-default", "default", expire});
    const auto made = gpg(args, passPhrase + "\n");
    if (made.exitStatus != 0)
        throw std::runtime_error("key generation failed: " + made.err);
    const auto listed = gpg({"--with-colons", "--list-keys", "--", "=" + userId});
    const std::size_t fpr = listed.out.find("\nfpr:");
    if (fpr == std::string::npos)
        throw std::runtime_error("no fingerprint listed");
    const std::size_t start = listed.out.find_first_not_of(':', fpr + 5);
    return listed.out.substr(start, 40);
}

std::string GpgHome::publicKey(const std::string& fingerprint)
{
    return gpg({"--armor", "--export", fingerprint}).out;
}

std::string GpgHome::revocation(const std::string& fingerprint)
{
    // gpg keeps the certificate disarmed by a ":" in front of its first armour line.
    std::string text = readFile(path + "/openpgp-revocs.d/" + fingerprint + ".rev");
    const std::size_t mark = text.find(":-----BEGIN");
    if (mark != std::string::npos)
        text.erase(mark, 1);
    return text;
}

std::vector<std::string> GpgHome::fingerprints()
{
    std::vector<std::string> found;
    const auto listed = gpg({"--with-colons", "--list-keys"});
    std::string last;
    std::size_t start = 0;
    while (start < listed.out.size()) {
        std::size_t end = listed.out.find('\n', start);
        if (end == std::string::npos)
            end = listed.out.size();
        const std::string line = listed.out.substr(start, end - start);
        start = end + 1;
        if (line.starts_with("fpr:") && last == "pub")
            found.push_back(line.substr(line.find_first_not_of(':', 4), 40));
        if (!line.starts_with("fpr:"))
            last = line.substr(0, line.find(':'));
    }
    return found;
}

std::string readFile(const std::string& path)
{
    // What could be read: a /proc entry of a process that ends meanwhile stops short.
    std::string bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return bytes;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

int runWatching(const std::vector<std::string>& argv, const std::function<void()>& whileRunning)
{
    std::vector<char*> args;
    for (const auto& word : argv)
        args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    int status = 0;
    while (true) {
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            break;
        if (ended < 0 && errno != EINTR)
            throw std::runtime_error("waitpid failed");
        if (whileRunning)
            whileRunning();
        ::usleep(1000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> commandLinesHolding(const std::string& needle)
{
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string line = readFile(entry.path().string() + "/cmdline");
        if (line.find(needle) == std::string::npos)
            continue;
        std::replace(line.begin(), line.end(), '\0', ' ');
        found.push_back(name + ": " + line);
    }
    return found;
}

std::vector<std::string> filesHolding(const std::string& folder, const std::string& needle)
{
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error))
        if (entry.is_regular_file() && !entry.is_symlink() &&
            readFile(entry.path().string()).find(needle) != std::string::npos)
            found.push_back(entry.path().string());
    return found;
}

std::string grouped(const std::string& fingerprint)
{
    std::string out;
    for (std::size_t i = 0; i < fingerprint.size(); i += 4) {
        if (i > 0)
            out += i == 20 ? "  " : " ";
        out += fingerprint.substr(i, 4);
    }
    return out;
}

} // namespace kestrova::test
