#include "platform/signals.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace platform {

namespace {

uint32 pending = 0;
uint32 allocated = SIGBREAKF_CTRL_C; // the break bit is never handed out
int break_pipe[2] = {-1, -1};        // written by the signal handler, read by Wait
QPointer<QSocketNotifier> break_notifier;

void on_break_signal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(break_pipe[1], &byte, 1);
    errno = saved;
}

void take_break_requests()
{
    char bytes[64];
    while (break_pipe[0] >= 0 && read(break_pipe[0], bytes, sizeof bytes) > 0)
        pending |= SIGBREAKF_CTRL_C;
}

// A break ends the program, so a dialog that waits for an answer meanwhile (a
// requester) is answered with "cancel": control goes back to the main loop.
void dismiss_modal_dialogs()
{
    for (int i = 0; i < 8; ++i) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    }
}

} // namespace

void watch_breaks()
{
    if (break_notifier || break_pipe[0] < 0 || !QCoreApplication::instance())
        return;
    break_notifier =
        new QSocketNotifier(break_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(break_notifier, &QSocketNotifier::activated, [] {
        take_break_requests();
        if (pending & SIGBREAKF_CTRL_C)
            dismiss_modal_dialogs();
    });
}

namespace {

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
        if (QCoreApplication::instance()) {
            watch_breaks();
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        } else if (break_pipe[0] >= 0) {
            sleep_until_break();
        } else {
            return 0; // nothing could ever arrive
        }
    }
}

} // namespace platform
