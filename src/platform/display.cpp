#include "platform/display.h"

#include "platform/process.h"
#include "platform/signals.h"
#include "platform/translate.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLibraryInfo>
#include <QPointer>
#include <QScreen>
#include <QSocketNotifier>
#include <QThread>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>
#include <xcb/xcb.h>

namespace platform {

namespace {

int connections = 0;
// What a lost display leads to: an ordinary end of the process (no window yet), the
// save (a handler is armed), or waiting for the save already under way.
enum LossState { LOSS_ENDS, LOSS_SAVES, LOSS_SAVING };
std::atomic<int> loss_state = LOSS_ENDS;
const char *const NO_DISPLAY =
    KT_TR("Display", "no X11 or Wayland display to show the window on: start "
                     "KTLaunch from a desktop session, or set DISPLAY (or "
                     "WAYLAND_DISPLAY)");

std::string in_language(const char *text)
{
    return translated("Display", text);
}

// QApplication keeps the argument vector for its whole life.
int app_argc = 3;
char arg_program[] = "KTLaunch";
char arg_platform_flag[] = "-platform";
char *app_argv[] = {arg_program, arg_platform_flag, nullptr, nullptr};

// The connection's state, made on first use rather than by a constructor at start-up.
struct Connection {
    std::string unavailable; // why the last connect showed no window; empty when it did
    std::string platform;    // app_argv's, for the application's whole life
    std::unique_ptr<QApplication> application;
    std::function<void()> lost_handler;
};

Connection &state()
{
    static Connection connection;
    return connection;
}

const char *env(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// The connection Qt's xcb plug-in makes, display name and authorisation alike,
// without the extension queries that Xlib would add.
bool x11_reachable()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool reachable = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return reachable;
}

bool wayland_reachable()
{
    const char *name = env("WAYLAND_DISPLAY");
    if (!name)
        name = "wayland-0";
    std::string path = name;
    if (path.front() != '/') {
        const char *runtime = env("XDG_RUNTIME_DIR");
        if (!runtime)
            return false;
        path = std::string(runtime) + "/" + path;
    }
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path)
        return false;
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

// Listed with readdir: QDirIterator makes a file-information object of every entry,
// and a name filter would be compiled as a regular expression (loading PCRE and its
// JIT), all before the window shows.
bool plugin_installed(const QString &platform)
{
    const QByteArray dir =
        QFile::encodeName(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
    const std::unique_ptr<DIR, int (*)(DIR *)> entries(opendir(dir.constData()), closedir);
    const std::string prefix = "libq" + platform.toStdString();
    while (const dirent *entry = entries ? readdir(entries.get()) : nullptr) {
        const std::string_view name = entry->d_name;
        if (name.starts_with(prefix) && name.ends_with(".so"))
            return true;
    }
    return false;
}

// Whether Qt can start on `name` ("xcb", "wayland", "offscreen", ... with options
// after a colon) without ending the program because nothing answers.
bool platform_usable(const QString &entry)
{
    const QString name = entry.section(':', 0, 0);
    if (!plugin_installed(name))
        return false;
    if (name == "xcb")
        return x11_reachable();
    if (name.startsWith("wayland"))
        return wayland_reachable();
    return true; // offscreen, minimal, vnc, ...: nothing to reach beforehand
}

// The first usable platform: the one the user asked for in QT_QPA_PLATFORM (a list
// separated by ';'), else X11 when DISPLAY is set, else Wayland. Empty when none.
std::string choose_platform()
{
    if (const char *wanted = env("QT_QPA_PLATFORM")) {
        for (const QString &entry : QString(wanted).split(';', Qt::SkipEmptyParts))
            if (platform_usable(entry))
                return entry.toStdString();
        return {};
    }
    if (env("DISPLAY") && platform_usable("xcb"))
        return "xcb";
    if (env("WAYLAND_DISPLAY") && platform_usable("wayland"))
        return "wayland";
    return {};
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

// Break requests wake the event loop, wherever it runs: in Wait, or in a requester.
void watch_breaks()
{
    static QPointer<QSocketNotifier> notifier;
    if (notifier || break_request_fd() < 0)
        return;
    notifier =
        new QSocketNotifier(break_request_fd(), QSocketNotifier::Read, state().application.get());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        if (take_break_requests())
            dismiss_modal_dialogs();
    });
}

// Registered with atexit once the window is up: it then runs before the handlers of
// everything made earlier, the application object among them.
void end_after_display_loss()
{
    int armed = LOSS_SAVES;
    if (!loss_state.compare_exchange_strong(armed, LOSS_SAVING))
        return; // an ordinary end, or the save is under way already
    state().lost_handler();
    std::_Exit(0); // what the toolkit holds went with the display; nothing of it is run
}

// What the toolkit needs of the process, or why the process cannot give it: a stack
// deeper than 64 KiB (Qt's painting and fontconfig go deeper), raised where the hard
// limit allows, and threads, at least as many as the toolkit starts (the X connection's
// reader, D-Bus, a pool); without them it would wait for them for ever.
std::string toolkit_room()
{
    constexpr rlim_t STACK = rlim_t{1} << 20, LEAST = rlim_t{256} << 10;
    const rlim_t stack = raise_stack_limit(STACK);
    if (stack < LEAST)
        return in_language(KT_TR("Display",
                                 "the stack limit (ulimit -s) is below 256 KiB: the window "
                                 "cannot be shown"));
    pthread_attr_t thread_attr;
    // New threads take their stack size from the limit the process started with.
    if (stack <= STACK && pthread_attr_init(&thread_attr) == 0) {
        pthread_attr_setstacksize(&thread_attr, stack);
        pthread_setattr_default_np(&thread_attr);
        pthread_attr_destroy(&thread_attr);
    }
    std::mutex gate;
    std::unique_lock held(gate);
    std::vector<std::thread> threads;
    std::string why;
    try {
        for (int i = 0; i < 4; ++i)
            threads.emplace_back([&gate] { const std::lock_guard wait(gate); });
    } catch (const std::system_error &error) {
        why = in_language(KT_TR("Display",
                                "no threads can be started for the window (%1): see the limits "
                                "of processes (ulimit -u) and of memory (ulimit -v)"));
        why.replace(why.find("%1"), 2, error.code().message());
    }
    held.unlock();
    for (std::thread &thread : threads) thread.join();
    return why;
}

void on_toolkit_message(QtMsgType type, const QMessageLogContext &context, const QString &text);

// The toolkit's own handler of its messages: on_toolkit_message stands in from the first
// call on, and passes every message on to it.
QtMessageHandler toolkit_message_handler()
{
    static const QtMessageHandler own = qInstallMessageHandler(on_toolkit_message);
    return own;
}

// Qt ends the process with a fatal message when its platform does not connect after all
// (the display went away since it was checked): the launcher's own message and status
// instead of an abort. Qt's Wayland plug-in ends the process with _exit(1) when the
// compositor goes, past every exit handler; the warning it gives just before is the
// last moment to save.
void on_toolkit_message(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const int loss = loss_state;
    const bool main_thread =
        loss != LOSS_ENDS && QThread::currentThread() == QCoreApplication::instance()->thread();
    // The main thread saves and ends the process: another thread that meets the loss
    // too waits for that, lest the toolkit end the process before the file is written.
    if (loss == LOSS_SAVING && !main_thread)
        for (;;) pause();
    if (type == QtFatalMsg && loss == LOSS_ENDS) {
        std::fprintf(stderr, "KTLaunch: %s\n",
                     translated("Display", KT_TR("Display", "the display did not answer: the "
                                                            "window cannot be shown")));
        std::_Exit(1);
    }
    if (const QtMessageHandler own = toolkit_message_handler())
        own(type, context, text);
    if (loss == LOSS_ENDS || !text.startsWith("The Wayland connection"))
        return;
    if (main_thread) {
        end_after_display_loss(); // returns only when the save is under way here already
        return;
    }
    // From the plug-in's reading thread: the main thread saves and ends, this one waits.
    QMetaObject::invokeMethod(QCoreApplication::instance(), end_after_display_loss,
                              Qt::QueuedConnection);
    for (;;) pause();
}

} // namespace

void on_display_lost(std::function<void()> handler)
{
    // Made before the exit handler is registered, so destroyed after it has run.
    Connection &c = state();
    static const bool registered = std::atexit(end_after_display_loss) == 0;
    toolkit_message_handler();
    if (!registered || loss_state == LOSS_SAVING)
        return;
    c.lost_handler = std::move(handler);
    loss_state = c.lost_handler ? LOSS_SAVES : LOSS_ENDS;
}

bool display_connect()
{
    if (connections > 0) {
        ++connections;
        return true;
    }
    Connection &c = state();
    c.platform = choose_platform();
    c.unavailable = c.platform.empty() ? in_language(NO_DISPLAY) : toolkit_room();
    if (!c.unavailable.empty())
        return false;
    app_argv[2] = c.platform.data();
    app_argc = 3;
    toolkit_message_handler(); // from now on, the toolkit's messages pass the launcher
    c.application = std::make_unique<QApplication>(app_argc, app_argv);
    if (const QScreen *screen = QGuiApplication::primaryScreen(); screen && screen->depth() < 16) {
        c.unavailable =
            in_language(KT_TR("Display", "the display has %1-bit colour: the window needs at "
                                         "least 16 bits"));
        c.unavailable.replace(c.unavailable.find("%1"), 2, std::to_string(screen->depth()));
        c.application.reset(); // Qt cannot paint on fewer colours
        return false;
    }
    install_toolkit_translation();
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName("KTLaunch");               // the window's class, on X11
    QGuiApplication::setDesktopFileName("karthos-preferences"); // its menu entry, on Wayland
    // Qt adopts the user's locale for the C library; numbers in the preferences file
    // are always written and read with a decimal point.
    std::setlocale(LC_NUMERIC, "C");
    watch_breaks();
    ++connections;
    return true;
}

void display_disconnect()
{
    if (connections == 0 || --connections > 0)
        return;
    state().application.reset();
}

CONST_STRPTR display_unavailable_reason()
{
    return state().unavailable.empty() ? nullptr : state().unavailable.c_str();
}

void display_pump_events()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool display_connected()
{
    return connections > 0 && loss_state != LOSS_SAVING;
}

} // namespace platform
