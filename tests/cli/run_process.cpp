#include "run_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrova::test {

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input, const ProcessLimits& limits)
{
    std::signal(SIGPIPE, SIG_IGN); // a child that exits early must not end the test
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0)
        throw std::runtime_error("pipe failed");

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // fork rather than posix_spawn: the child sets its own limits before it runs the program.
    // Between fork and exec it only makes async-signal-safe calls.
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("cannot start " + program);
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        for (const auto& [resource, value] : {std::pair{RLIMIT_AS, limits.addressSpace},
                                              std::pair{RLIMIT_FSIZE, limits.fileSize}}) {
            const rlimit limit{value, value};
            if (value > 0 && setrlimit(resource, &limit) != 0)
                _exit(126);
        }
        execve(program.c_str(), argv.data(), environ);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);

    ProcessResult result;
    std::size_t written = 0;
    bool inOpen = true;
    if (input.empty()) {
        close(in[1]);
        inOpen = false;
    }
    bool outOpen = true, errOpen = true;
    char buffer[65536];
    while (outOpen || errOpen) {
        pollfd fds[3];
        int n = 0;
        int outAt = -1, errAt = -1, inAt = -1;
        if (outOpen) {
            fds[n] = {out[0], POLLIN, 0};
            outAt = n++;
        }
        if (errOpen) {
            fds[n] = {err[0], POLLIN, 0};
            errAt = n++;
        }
        if (inOpen) {
            fds[n] = {in[1], POLLOUT, 0};
            inAt = n++;
        }
        if (poll(fds, static_cast<nfds_t>(n), -1) < 0 && errno != EINTR)
            break;
        const auto drain = [&](int at, int fd, std::string& into, bool& open) {
            if (at < 0 || !(fds[at].revents & (POLLIN | POLLHUP | POLLERR)))
                return;
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got <= 0)
                open = false;
            else
                into.append(buffer, static_cast<std::size_t>(got));
        };
        drain(outAt, out[0], result.out, outOpen);
        drain(errAt, err[0], result.err, errOpen);
        if (inAt >= 0 && (fds[inAt].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t put = write(in[1], input.data() + written,
                                      std::min<std::size_t>(input.size() - written, 65536));
            if (put > 0)
                written += static_cast<std::size_t>(put);
            if (put <= 0 || written == input.size()) {
                close(in[1]);
                inOpen = false;
            }
        }
    }
    if (inOpen)
        close(in[1]);
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

} // namespace kestrova::test
