#include "platform/process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace platform {

void open_closed_std_streams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // open() takes the lowest free number, which is this one.
        const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd)
            close(null);
    }
}

int dup_std_stream(StdStream stream)
{
    const int fd = stream == StdStream::input ? 0 : stream == StdStream::output ? 1 : 2;
    return fcntl(fd, F_DUPFD_CLOEXEC, 3);
}

void close_handle(int handle)
{
    if (handle >= 0)
        close(handle);
}

rlim_t raise_stack_limit(rlim_t wanted)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_STACK, &limit) != 0)
        return 0;
    if (limit.rlim_cur >= wanted) // RLIM_INFINITY is the largest limit there is
        return limit.rlim_cur;
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    return setrlimit(RLIMIT_STACK, &limit) == 0 ? limit.rlim_cur : 0;
}

namespace {

struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;
};

// The launcher's environment with `extra` put over it, null-terminated; points into
// `extra` and environ.
std::vector<char *> program_environment(std::vector<std::string> &extra)
{
    std::vector<char *> envp;
    for (char **e = environ; *e; ++e) {
        const std::string_view entry(*e);
        const std::string_view name = entry.substr(0, entry.find('=') + 1);
        if (std::none_of(extra.begin(), extra.end(),
                         [&](const std::string &x) { return x.starts_with(name); }))
            envp.push_back(*e);
    }
    for (std::string &x : extra) envp.push_back(x.data());
    envp.push_back(nullptr);
    return envp;
}

// Starts the program with the request's three streams and nothing else open, the
// signals the launcher catches or ignores at their defaults and none blocked: its pid,
// or -1 with errno set.
pid_t spawn(const SpawnRequest &request, short flags)
{
    SpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, request.in, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, request.out, 1);
    posix_spawn_file_actions_adddup2(&setup.actions, request.err, 2);
    // Nothing else of the launcher's, nor what it inherited itself, reaches the child.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    if (!request.working_dir.empty())
        posix_spawn_file_actions_addchdir_np(&setup.actions, request.working_dir.c_str());

    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGCHLD, SIGPIPE, SIGXFSZ}) sigaddset(&defaults, sig);
    sigset_t no_mask;
    sigemptyset(&no_mask);
    posix_spawnattr_setsigdefault(&setup.attr, &defaults);
    posix_spawnattr_setsigmask(&setup.attr, &no_mask);
    posix_spawnattr_setflags(
        &setup.attr, static_cast<short>(flags | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));

    std::vector<char *> argv;
    std::string name = request.program.substr(request.program.rfind('/') + 1);
    argv.push_back(name.data());
    std::vector<std::string> args = request.args;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::vector<std::string> env = request.environment;
    std::vector<char *> envp = program_environment(env);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, request.program.c_str(), &setup.actions, &setup.attr,
                               argv.data(), envp.data());
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}

// Reads `size` bytes unless the writer ends first; the bytes read.
std::size_t read_all(int fd, void *to, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, static_cast<char *>(to) + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

} // namespace

pid_t spawn_detached(const SpawnRequest &request)
{
    // A child of the launcher's starts the program and ends at once, so that the system
    // adopts the program: whenever it ends, it is not left a zombie of the launcher's,
    // and the launcher's own handling of children stays as it was. The child reports
    // the program's pid, or why it could not start, through a pipe.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return -1;
    const pid_t middle = fork();
    if (middle == 0) {
        // A session of its own: the launcher's terminal closing or a Ctrl-C there does
        // not reach the program.
        // The program inherits this process's stack limit.
        raise_stack_limit(request.min_stack);
        const pid_t pid = spawn(request, POSIX_SPAWN_SETSID);
        const int result[2] = {pid, pid < 0 ? errno : 0};
        _exit(write(report[1], result, sizeof result) == sizeof result ? 0 : 1);
    }
    const int fork_error = errno;
    close(report[1]);
    int result[2] = {-1, fork_error};
    if (middle > 0) {
        if (read_all(report[0], result, sizeof result) != sizeof result)
            result[0] = -1, result[1] = ECHILD;
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    close(report[0]);
    errno = result[1];
    return result[0];
}

} // namespace platform
