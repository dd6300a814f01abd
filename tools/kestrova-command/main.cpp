// kestrova-command: runs Kestrova.bat in place of "command.com".
//
//   kestrova-command [/E:n] /C batchfile
//
// /E:n (environment size) is accepted and has no effect. KESTROVA_GPG_TIMEOUT (seconds) bounds
// each gpg run; SIGTERM, SIGINT or SIGHUP ends a running gpg and the batch.
#include "io/files.h"
#include "io/paths.h"
#include "io/wholefile.h"
#include "pgp/frontend.h"
#include "pgp/interpreter.h"
#include "pgp/secret.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
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

// The batch may hold the pass phrase and says what runs as this user: it is read only from a
// private folder whose whole path no other user can change, and only when it is this user's
// own regular file that no one else may write.
kestrova::io::Result<std::string> readBatch(const std::string& path)
{
    namespace io = kestrova::io;
    if (auto safe = io::folderIsSafe(io::folderOf(path), true); !safe)
        return safe.error();
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0)
        return io::systemError(io::IoErrorKind::NotFound, path, errno);
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 0022) != 0)
        return io::IoError{io::IoErrorKind::NotReadable, path,
                           "it is not a file of this user that only this user may change"};
    auto bytes = io::readWholeFile(path);
    if (!bytes)
        return bytes.error();
    if (!*bytes)
        return io::IoError{io::IoErrorKind::NotFound, path, "there is no such file"};
    return std::move(**bytes);
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

    auto read = readBatch(kestrova::io::GetShortPath(batch));
    if (!read) {
        std::fprintf(stderr, "kestrova-command: cannot read %s: %s\n", read.error().path.c_str(),
                     read.error().reason.c_str());
        return 1;
    }
    std::string& text = *read;
    auto variables = kestrova::pgp::environmentVariables();
    const int status = kestrova::pgp::runBatchText(text, variables, options);
    kestrova::pgp::wipeString(text); // it may hold a pass phrase
    return status;
}
