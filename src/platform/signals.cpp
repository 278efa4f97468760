#include "platform/signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <unistd.h>

namespace platform {

namespace {

uint32 pending = 0;
uint32 allocated = SIGBREAKF_CTRL_C; // the break bit is never handed out
int break_pipe[2] = {-1, -1};        // written by the signal handler, read by Wait
EventPump event_pump = nullptr;

void on_break_signal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(break_pipe[1], &byte, 1);
    errno = saved;
}

void sleep_until_break()
{
    pollfd fd{break_pipe[0], POLLIN, 0};
    while (poll(&fd, 1, -1) < 0 && errno == EINTR) {
    }
}

} // namespace

void install_break_signals()
{
    if (break_pipe[0] < 0 && pipe2(break_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = on_break_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    // A write to a display connection or a pipe that went away fails as a write;
    // it does not end the launcher.
    std::signal(SIGPIPE, SIG_IGN);
}

int break_request_fd()
{
    return break_pipe[0];
}

bool take_break_requests()
{
    char bytes[64];
    while (break_pipe[0] >= 0 && read(break_pipe[0], bytes, sizeof bytes) > 0)
        pending |= SIGBREAKF_CTRL_C;
    return pending & SIGBREAKF_CTRL_C;
}

void set_event_pump(EventPump pump)
{
    event_pump = pump;
}

int32 AllocSignal()
{
    for (int32 signum = 16; signum < 32; ++signum) {
        const uint32 bit = 1u << signum;
        if (!(allocated & bit)) {
            allocated |= bit;
            pending &= ~bit;
            return signum;
        }
    }
    return -1;
}

void FreeSignal(int32 signum)
{
    if (signum >= 0 && signum < 32)
        allocated &= ~(1u << signum) | SIGBREAKF_CTRL_C;
}

void Signal(uint32 bits)
{
    pending |= bits;
}

uint32 Wait(uint32 mask)
{
    for (;;) {
        take_break_requests();
        if (const uint32 got = pending & mask) {
            pending &= ~got;
            return got;
        }
        if (event_pump)
            event_pump();
        else if (break_pipe[0] >= 0)
            sleep_until_break();
        else
            return 0; // nothing could ever arrive
    }
}

} // namespace platform
