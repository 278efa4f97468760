#include "platform/display.h"

#include "platform/dynlib.h"
#include "platform/signals.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLibraryInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <clocale>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <xcb/xcb.h>

namespace platform {

namespace {

int connections = 0;
bool display_lost = false;
bool display_missing = false;
std::unique_ptr<QApplication> application;
std::function<void()> lost_handler;

// QApplication keeps the argument vector for its whole life.
int app_argc = 3;
char arg_program[] = "KTLaunch";
char arg_platform_flag[] = "-platform";
std::string chosen_platform;
char *app_argv[] = {arg_program, arg_platform_flag, nullptr, nullptr};

const char *env(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// The connection Qt's xcb plug-in makes, display name and authorisation alike, without
// the extension queries that Xlib would add. libxcb is opened here rather than linked,
// so that the launcher's start-up does not look symbols up in it, and kept: the
// plug-in, which needs it anyway, finds it loaded.
bool x11_reachable()
{
    static const DynamicLibrary xcb("libxcb.so.1");
    decltype(&xcb_connect) connect = nullptr;
    decltype(&xcb_connection_has_error) has_error = nullptr;
    decltype(&xcb_disconnect) disconnect = nullptr;
    if (!xcb.find("xcb_connect", connect) || !xcb.find("xcb_connection_has_error", has_error) ||
        !xcb.find("xcb_disconnect", disconnect))
        return false;
    xcb_connection_t *connection = connect(nullptr, nullptr);
    const bool reachable = has_error(connection) == 0;
    disconnect(connection);
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

// Fontconfig reads its configuration and font list the first time Qt lays out text,
// about a third of the work before the window shows. Read on another core while Qt
// connects to the display and loads its plug-ins, it is ready when the window is
// built. (Fontconfig is thread-safe, and Qt, which links it, finds it ready.)
std::jthread load_fonts_meanwhile(std::string_view platform)
{
    const std::string_view name = platform.substr(0, platform.find(':')); // options follow
    if (name != "xcb" && !name.starts_with("wayland"))
        return {};
    using FcInit = int (*)();
    const auto init = reinterpret_cast<FcInit>(dlsym(RTLD_DEFAULT, "FcInit"));
    if (!init)
        return {};
    try {
        return std::jthread(init);
    } catch (const std::system_error &) { // no thread to spare: Qt loads them itself
        return {};
    }
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
    notifier = new QSocketNotifier(break_request_fd(), QSocketNotifier::Read, application.get());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        if (take_break_requests())
            dismiss_modal_dialogs();
    });
}

// Registered with atexit once the window is up: it then runs before the handlers of
// everything made earlier, the application object among them.
void end_after_display_loss()
{
    if (!lost_handler)
        return; // an ordinary end
    const std::function<void()> handler = std::exchange(lost_handler, nullptr);
    display_lost = true;
    handler();
    std::_Exit(0); // what the toolkit holds went with the display; nothing of it is run
}

void on_toolkit_message(QtMsgType type, const QMessageLogContext &context, const QString &text);

// The toolkit's own handler of its messages: on_toolkit_message stands in from the first
// call on, and passes every message on to it.
QtMessageHandler toolkit_message_handler()
{
    static const QtMessageHandler own = qInstallMessageHandler(on_toolkit_message);
    return own;
}

// Qt's Wayland plug-in ends the process with _exit(1) when the compositor goes, past
// every exit handler; the warning it gives just before is the last moment to save.
void on_toolkit_message(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (const QtMessageHandler own = toolkit_message_handler())
        own(type, context, text);
    if (!lost_handler || !text.startsWith("The Wayland connection"))
        return;
    if (QThread::currentThread() == QCoreApplication::instance()->thread())
        end_after_display_loss();
    // From the plug-in's reading thread: the main thread saves and ends, this one waits.
    QMetaObject::invokeMethod(QCoreApplication::instance(), end_after_display_loss,
                              Qt::QueuedConnection);
    for (;;) pause();
}

} // namespace

void on_display_lost(std::function<void()> handler)
{
    static const bool registered = std::atexit(end_after_display_loss) == 0;
    toolkit_message_handler();
    if (registered)
        lost_handler = std::move(handler);
}

bool display_connect()
{
    if (connections > 0) {
        ++connections;
        return true;
    }
    chosen_platform = choose_platform();
    display_missing = chosen_platform.empty();
    if (display_missing)
        return false;
    app_argv[2] = chosen_platform.data();
    app_argc = 3;
    {
        // Qt sets the user's locale as it starts. Set here first, it never changes
        // under the thread that reads the fonts.
        std::setlocale(LC_ALL, "");
        const std::jthread fonts = load_fonts_meanwhile(chosen_platform);
        application = std::make_unique<QApplication>(app_argc, app_argv);
    } // the fonts are read: the window's text needs them
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
    application.reset();
}

CONST_STRPTR display_missing_hint()
{
    return display_missing ? "no X11 or Wayland display to show the window on: start KTLaunch "
                             "from a desktop session, or set DISPLAY (or WAYLAND_DISPLAY)"
                           : nullptr;
}

void display_pump_events()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool display_connected()
{
    return connections > 0 && !display_lost;
}

} // namespace platform
