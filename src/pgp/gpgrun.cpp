#include "pgp/gpgrun.h"

#include "pgp/lines.h"
#include "pgp/secret.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrova::pgp {

namespace {

class Descriptor
{
public:
    Descriptor() = default;
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept
        : m_fd(other.release())
    {
    }
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~Descriptor() { reset(); }
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

// A pipe whose ends lie above the descriptors the child is given, so that placing one end on
// 0..4 can never overwrite another end still to be placed.
bool makePipe(Descriptor& readEnd, Descriptor& writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    Descriptor first(fds[0]);
    Descriptor second(fds[1]);
    readEnd.reset(::fcntl(first.get(), F_DUPFD_CLOEXEC, 10));
    writeEnd.reset(::fcntl(second.get(), F_DUPFD_CLOEXEC, 10));
    return readEnd.get() >= 0 && writeEnd.get() >= 0;
}

// Writing to a pipe gpg has closed must give EPIPE, not end this process.
class IgnoreSigpipe
{
public:
    IgnoreSigpipe()
    {
        struct sigaction ignore
        {
        };
        ignore.sa_handler = SIG_IGN;
        ::sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGPIPE, &ignore, &m_old);
    }
    IgnoreSigpipe(const IgnoreSigpipe&) = delete;
    IgnoreSigpipe& operator=(const IgnoreSigpipe&) = delete;
    ~IgnoreSigpipe() { ::sigaction(SIGPIPE, &m_old, nullptr); }

private:
    struct sigaction m_old
    {
    };
};

struct Feed
{
    Descriptor fd;
    std::string_view data;
    std::size_t done = 0;
};

struct Drain
{
    Descriptor fd;
    std::string* into = nullptr;
};

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// The pipes between this process and the child: the child's ends are placed on 0..4 by the
// spawn and closed here once it has started.
struct Pipes
{
    Feed input;
    Feed passPhrase;
    Drain out;
    Drain err;
    Drain status;
    Descriptor childIn;
    Descriptor childOut;
    Descriptor childErr;
    Descriptor childStatus;
    Descriptor childPass;

    bool open(bool withPassPhrase)
    {
        return makePipe(childIn, input.fd) && makePipe(out.fd, childOut) &&
               makePipe(err.fd, childErr) && makePipe(status.fd, childStatus) &&
               (!withPassPhrase || makePipe(childPass, passPhrase.fd));
    }
    void closeChildEnds()
    {
        for (Descriptor* end : {&childIn, &childOut, &childErr, &childStatus, &childPass})
            end->reset();
    }
};

// posix_spawn's file actions and attributes, destroyed on every path.
class SpawnSetup
{
public:
    explicit SpawnSetup(const Pipes& pipes)
    {
        ::posix_spawn_file_actions_init(&m_actions);
        ::posix_spawn_file_actions_adddup2(&m_actions, pipes.childIn.get(), 0);
        ::posix_spawn_file_actions_adddup2(&m_actions, pipes.childOut.get(), 1);
        ::posix_spawn_file_actions_adddup2(&m_actions, pipes.childErr.get(), 2);
        ::posix_spawn_file_actions_adddup2(&m_actions, pipes.childStatus.get(), kStatusFd);
        if (pipes.childPass.get() >= 0)
            ::posix_spawn_file_actions_adddup2(&m_actions, pipes.childPass.get(), kPassPhraseFd);
        // The child starts with no signal blocked and the ending signals at their defaults,
        // whatever this process did with them.
        ::posix_spawnattr_init(&m_attributes);
        sigset_t none;
        sigset_t reset;
        ::sigemptyset(&none);
        ::sigemptyset(&reset);
        for (int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP})
            ::sigaddset(&reset, signal);
        ::posix_spawnattr_setsigmask(&m_attributes, &none);
        ::posix_spawnattr_setsigdefault(&m_attributes, &reset);
        ::posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSetup()
    {
        ::posix_spawn_file_actions_destroy(&m_actions);
        ::posix_spawnattr_destroy(&m_attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    const posix_spawn_file_actions_t* actions() const { return &m_actions; }
    const posix_spawnattr_t* attributes() const { return &m_attributes; }

private:
    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attributes;
};

struct Spawned
{
    pid_t pid = -1;
    int error = 0; // errno value when it could not be started
};

// Starts call.program on the pipes.
Spawned spawn(const GpgCall& call, Pipes& pipes)
{
    SpawnSetup setup(pipes);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(call.program.c_str()));
    for (const auto& argument : call.arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& entry : call.environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, call.program.c_str(), setup.actions(),
                                     setup.attributes(), argv.data(), envp.data());
    pipes.closeChildEnds();
    return {failed == 0 ? pid : -1, failed};
}

using Clock = std::chrono::steady_clock;

// The time limit and the stop flag of one run: the child is ended politely, then for certain.
class Limit
{
public:
    Limit(const GpgCall& call, pid_t pid)
        : m_deadline(Clock::now() + call.timeLimit)
        , m_stop(call.stop)
        , m_pid(pid)
    {
    }

    // Returns true when it has just asked the child to end: its inputs should close.
    bool enforce(GpgReply& reply)
    {
        const auto now = Clock::now();
        const bool stopAsked = m_stop && *m_stop != 0;
        if (!m_killAt && (now >= m_deadline || stopAsked)) {
            reply.timedOut = !stopAsked;
            reply.stopped = stopAsked;
            ::kill(m_pid, SIGTERM);
            m_killAt = now + std::chrono::seconds(2);
            return true;
        }
        if (m_killAt && now >= *m_killAt) {
            ::kill(m_pid, SIGKILL);
            m_killAt = now + std::chrono::hours(1);
        }
        return false;
    }

private:
    Clock::time_point m_deadline;
    const volatile std::sig_atomic_t* m_stop;
    pid_t m_pid;
    std::optional<Clock::time_point> m_killAt;
};

// Feeds the child its input and pass phrase and collects its outputs until they close, or
// until it has ended and nothing more is ready. Returns whether it was seen to end (then
// waitStatus holds its status).
bool pump(Pipes& pipes, Limit& limit, GpgReply& reply, pid_t pid, int& waitStatus)
{
    for (int fd : {pipes.input.fd.get(), pipes.passPhrase.fd.get(), pipes.out.fd.get(),
                   pipes.err.fd.get(), pipes.status.fd.get()})
        if (fd >= 0)
            setNonBlocking(fd);
    bool exited = false;
    std::array<char, 65536> buffer{};
    while (true) {
        std::vector<pollfd> polled;
        std::vector<Feed*> feeds;
        std::vector<Drain*> drains;
        for (Feed* feed : {&pipes.input, &pipes.passPhrase}) {
            if (feed->fd.get() < 0)
                continue;
            if (feed->done == feed->data.size()) {
                feed->fd.reset(); // end of input tells the child there is no more
                continue;
            }
            polled.push_back({feed->fd.get(), POLLOUT, 0});
            feeds.push_back(feed);
        }
        for (Drain* drain : {&pipes.out, &pipes.err, &pipes.status}) {
            if (drain->fd.get() < 0)
                continue;
            polled.push_back({drain->fd.get(), POLLIN, 0});
            drains.push_back(drain);
        }
        if (drains.empty())
            break;

        const int ready = ::poll(polled.data(), polled.size(), 100);
        if (ready < 0 && errno != EINTR)
            break;
        for (std::size_t i = 0; ready > 0 && i < polled.size(); ++i) {
            if (polled[i].revents == 0)
                continue;
            if (i < feeds.size()) {
                Feed& feed = *feeds[i];
                const ssize_t n = ::write(feed.fd.get(), feed.data.data() + feed.done,
                                          feed.data.size() - feed.done);
                if (n > 0)
                    feed.done += static_cast<std::size_t>(n);
                else if (n < 0 && errno != EAGAIN && errno != EINTR)
                    feed.fd.reset(); // it does not read it: nothing more to give
            } else {
                Drain& drain = *drains[i - feeds.size()];
                const ssize_t n = ::read(drain.fd.get(), buffer.data(), buffer.size());
                if (n > 0)
                    drain.into->append(buffer.data(), static_cast<std::size_t>(n));
                else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                    drain.fd.reset();
            }
        }

        if (limit.enforce(reply)) {
            pipes.input.fd.reset();
            pipes.passPhrase.fd.reset();
        }
        // A helper the child started (gpg's agent) may hold a copy of an output pipe: once the
        // child itself has ended and nothing more is ready, what it wrote is all there is.
        if (!exited && ::waitpid(pid, &waitStatus, WNOHANG) == pid)
            exited = true;
        if (exited && ready == 0)
            break;
    }
    return exited;
}

// Waits for the child whose outputs are closed; the same limit holds.
void reap(Limit& limit, GpgReply& reply, pid_t pid, int& waitStatus)
{
    while (::waitpid(pid, &waitStatus, WNOHANG) != pid) {
        limit.enforce(reply);
        ::usleep(20000);
    }
}

} // namespace

const StatusLine* GpgReply::find(std::string_view keyword) const
{
    for (const auto& line : status)
        if (line.keyword == keyword)
            return &line;
    return nullptr;
}

std::vector<StatusLine> parseStatus(std::string_view text)
{
    constexpr std::string_view prefix = "[GNUPG:] ";
    std::vector<StatusLine> lines;
    for (std::string_view line : splitLines(text)) {
        if (!line.starts_with(prefix))
            continue;
        line.remove_prefix(prefix.size());
        StatusLine parsed;
        std::size_t pos = 0;
        while (pos <= line.size()) {
            std::size_t blank = line.find(' ', pos);
            if (blank == std::string_view::npos)
                blank = line.size();
            std::string word(line.substr(pos, blank - pos));
            if (parsed.keyword.empty())
                parsed.keyword = std::move(word);
            else
                parsed.args.push_back(std::move(word));
            pos = blank + 1;
        }
        lines.push_back(std::move(parsed));
    }
    return lines;
}

std::string findProgram(std::string_view name, std::string_view pathValue)
{
    std::size_t start = 0;
    while (start <= pathValue.size()) {
        std::size_t end = pathValue.find(':', start);
        if (end == std::string_view::npos)
            end = pathValue.size();
        const std::string_view folder = pathValue.substr(start, end - start);
        start = end + 1;
        if (!folder.starts_with('/'))
            continue; // a relative entry would depend on the current folder
        std::string candidate(folder);
        if (!candidate.ends_with('/'))
            candidate += '/';
        candidate += name;
        struct stat st
        {
        };
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

GpgReply runGpg(const GpgCall& call)
{
    GpgReply reply;
    IgnoreSigpipe ignoreSigpipe;
    Pipes pipes;
    SecretString passLine;
    if (call.passPhrase) {
        passLine = *call.passPhrase;
        passLine += '\n';
    }
    if (!pipes.open(call.passPhrase.has_value())) {
        reply.startError = std::strerror(errno);
        wipeString(passLine);
        return reply;
    }
    pipes.input.data = call.input;
    pipes.passPhrase.data = view(passLine);
    std::string statusText;
    pipes.out.into = &reply.out;
    pipes.err.into = &reply.err;
    pipes.status.into = &statusText;

    const Spawned spawned = spawn(call, pipes);
    if (spawned.error != 0) {
        reply.startError = std::strerror(spawned.error);
        wipeString(passLine);
        return reply;
    }
    const pid_t pid = spawned.pid;
    reply.started = true;
    Limit limit(call, pid);
    int waitStatus = 0;
    if (!pump(pipes, limit, reply, pid, waitStatus))
        reap(limit, reply, pid, waitStatus);
    wipeString(passLine);
    reply.exitStatus = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    reply.status = parseStatus(statusText);
    return reply;
}

} // namespace kestrova::pgp
