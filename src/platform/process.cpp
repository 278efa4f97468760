#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
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

namespace {

// The child inherits the limits of the process that starts it; the launcher's own
// limit is raised for the moment of the start and put back afterwards.
class StackLimitRaise {
  public:
    explicit StackLimitRaise(rlim_t wanted)
    {
        if (getrlimit(RLIMIT_STACK, &old_) != 0 || old_.rlim_cur == RLIM_INFINITY ||
            old_.rlim_cur >= wanted)
            return;
        rlimit raised = old_;
        raised.rlim_cur =
            old_.rlim_max == RLIM_INFINITY || old_.rlim_max >= wanted ? wanted : old_.rlim_max;
        changed_ = setrlimit(RLIMIT_STACK, &raised) == 0;
    }
    ~StackLimitRaise()
    {
        if (changed_)
            setrlimit(RLIMIT_STACK, &old_);
    }
    StackLimitRaise(const StackLimitRaise &) = delete;
    StackLimitRaise &operator=(const StackLimitRaise &) = delete;

  private:
    rlimit old_{};
    bool changed_ = false;
};

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
    std::string name = request.name.empty() ? request.program.substr(request.program.rfind('/') + 1)
                                            : request.name;
    argv.push_back(name.data());
    std::vector<std::string> args = request.args;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const StackLimitRaise stack(request.min_stack);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, request.program.c_str(), &setup.actions, &setup.attr,
                               argv.data(), environ);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}

} // namespace

bool spawn_detached(const SpawnRequest &request)
{
    // Children that end are reaped by the system, so none is left a zombie while
    // the launcher still runs.
    struct sigaction reap {};
    reap.sa_handler = SIG_IGN;
    reap.sa_flags = SA_NOCLDWAIT;
    sigemptyset(&reap.sa_mask);
    sigaction(SIGCHLD, &reap, nullptr);
    // A session of its own: the launcher's terminal closing or a Ctrl-C there does
    // not reach the game.
    return spawn(request, POSIX_SPAWN_SETSID) > 0;
}

pid_t spawn_child(const SpawnRequest &request)
{
    return spawn(request, 0);
}

} // namespace platform
