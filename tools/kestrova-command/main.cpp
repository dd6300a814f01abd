// kestrova-command: runs Kestrova.bat in place of "command.com".
//
//   kestrova-command [/E:n] /C batchfile
//
// /E:n (environment size) is accepted and has no effect. KESTROVA_GPG_TIMEOUT (seconds) bounds
// each gpg run; SIGTERM, SIGINT or SIGHUP ends a running gpg and the batch.
#include "pgp/frontend.h"
#include "pgp/interpreter.h"
#include "pgp/secret.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) { stopRequested = 1; }

bool isEnvironmentSize(const std::string& argument)
{
    if (argument.size() < 4 || argument[0] != '/' || std::toupper(argument[1]) != 'E' ||
        argument[2] != ':')
        return false;
    for (std::size_t i = 3; i < argument.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(argument[i])))
            return false;
    return true;
}

int usage()
{
    std::fprintf(stderr, "usage: kestrova-command [/E:n] /C batchfile\n");
    return 2;
}

bool readFile(const char* path, std::string& bytes)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[8192];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const char* batch = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (isEnvironmentSize(argument))
            continue;
        if ((argument == "/C" || argument == "/c") && i + 1 < argc && !batch) {
            batch = argv[++i];
            continue;
        }
        return usage();
    }
    if (!batch)
        return usage();

    struct sigaction stop
    {
    };
    stop.sa_handler = onStopSignal;
    ::sigemptyset(&stop.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &stop, nullptr);

    kestrova::pgp::InterpreterOptions options;
    options.stop = &stopRequested;
    options.gpgTimeLimit = kestrova::pgp::kDefaultGpgTimeLimit;
    if (const char* limit = std::getenv("KESTROVA_GPG_TIMEOUT")) {
        const long seconds = std::strtol(limit, nullptr, 10);
        if (seconds > 0)
            options.gpgTimeLimit = std::chrono::seconds(seconds);
    }

    std::string text;
    if (!readFile(batch, text)) {
        std::fprintf(stderr, "kestrova-command: cannot read %s: %s\n", batch, std::strerror(errno));
        return 1;
    }
    auto variables = kestrova::pgp::environmentVariables();
    const int status = kestrova::pgp::runBatchText(text, variables, options);
    kestrova::pgp::wipeString(text); // it may hold a pass phrase
    return status;
}
