// KTLaunch: the launcher and preferences editor of Karthos.
#include "configfile.h"
#include "gui.h"
#include "platform/desktop.h"
#include "platform/display.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "platform/translate.h"
#include "util.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using platform::SIGBREAKF_CTRL_C;
using platform::translated;

// The original program's version string and stack cookie, kept byte for byte in the
// executable: --version prints the first, and `strings KTLaunch` finds both, as those
// who package or support the game look for them. Nothing on Linux reads the cookie;
// the game's stack is set when it is started (launch_game).
[[gnu::used]] extern const char verstring[] = "$VER: KTLaunch 3.2 (04.05.2017)";
[[gnu::used]] extern const char stackcookie[] = "$STACK: 262144";

// Brings everything up in order; false as soon as a step fails (it told the user).
BOOL init()
{
    gui_preinit();
    if (!getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition))
        return false;
    platform::set_event_pump(IIntuition->pump_events); // Wait sleeps in the display's pump
    if (!getLibIFace(&RequesterBase, "requester.class", 51, &IRequester))
        return false;
    if (!config_init())
        return false;
    // Should the display go away from now on, while the window is made or in the wait,
    // the toolkit ends the process: the preferences are then saved as after a break.
    platform::on_display_lost([] { config_save(); });
    return gui_init();
}

// "Save & Launch" without the window, for a start from a game library or a pad:
// the game starts on the settings it has; messages go to standard error.
static BOOL launch_without_window()
{
    platform::install_console_libraries();
    // The store is read for the launcher's own settings (the graphics card, GameMode),
    // and never written.
    const BOOL started = getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition) &&
                         getLibIFace(&RequesterBase, "requester.class", 51, &IRequester) &&
                         config_init() && launch_game();
    config_shut();
    dropLibIFace(&IntuitionBase, &IIntuition);
    dropLibIFace(&RequesterBase, &IRequester);
    return started;
}

// `text` of the command line in the user's language, with %1, %2, ... replaced by
// `args` (a translation may put them in another order).
static std::string with_args(CONST_STRPTR text, const std::vector<std::string> &args)
{
    std::string out;
    for (CONST_STRPTR p = translated("CommandLine", text); *p; ++p) {
        const bool marker =
            p[0] == '%' && p[1] >= '1' && static_cast<std::size_t>(p[1] - '1') < args.size();
        if (!marker) {
            out += *p;
            continue;
        }
        out += args[static_cast<std::size_t>(p[1] - '1')];
        ++p;
    }
    return out;
}

// A menu entry for this launcher, wherever it is installed, with its icon, and an action
// that starts the game at once.
static BOOL install_menu_entry()
{
    std::vector<std::string> written;
    const std::string why = platform::install_desktop_entry(
        {.id = "karthos-preferences",
         .name = KT_TR("DesktopEntry", "Karthos Preferences"),
         .comment = KT_TR("DesktopEntry",
                          "Set up the display and the language of Karthos, and start the game"),
         .categories = "Game;",
         .icon_resource = ":/icons/karthos-preferences.svg",
         .window_class = "KTLaunch",
         .action = "Play", // the action's identifier
         .action_option = "--launch",
         .action_name = KT_TR("DesktopEntry", "Play")},
        written);
    for (const std::string &file : written)
        std::printf("%s\n", with_args(KT_TR("CommandLine", "Installed %1"), {file}).c_str());
    if (!why.empty())
        std::fprintf(stderr, "KTLaunch: %s\n", why.c_str());
    return why.empty();
}

// The command line: none opens the window; the options are answered here, in any order:
// --help (or -h) before --version, and either before the one action that may be given.
// The exit status: 0, 1 when the action failed, 2 for a command line that is not understood.
static int run_options(int argc, char **argv)
{
    static constexpr std::string_view ACTIONS[] = {"--launch", "--install-desktop-entry"};
    bool help = false, version = false;
    std::string_view action;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool is_action =
            std::find(std::begin(ACTIONS), std::end(ACTIONS), arg) != std::end(ACTIONS);
        if (arg == "--help" || arg == "-h")
            help = true;
        else if (arg == "--version")
            version = true;
        else if (is_action && (action.empty() || action == arg))
            action = arg;
        else {
            const std::string why =
                is_action
                    ? with_args(KT_TR("CommandLine", "'%1' cannot be combined with '%2'"),
                                {argv[i], std::string(action)})
                    : with_args(KT_TR("CommandLine", "unknown option '%1' (see KTLaunch --help)"),
                                {argv[i]});
            std::fprintf(stderr, "KTLaunch: %s\n", why.c_str());
            return 2;
        }
    }
    if (help) {
        std::fputs(
            translated("CommandLine",
                       KT_TR("CommandLine",
                             "Usage: KTLaunch [--launch | --install-desktop-entry | --help | "
                             "--version]\n"
                             "The launcher and preferences editor of Karthos, in the game's "
                             "directory.\n"
                             "  (no option)  open the preferences window\n"
                             "  --launch     start the game on its stored settings, without the "
                             "window\n"
                             "  --install-desktop-entry\n"
                             "               add the launcher to your desktop's menu\n"
                             "  -h, --help   show this text\n"
                             "  --version    show the version\n")),
            stdout);
        return 0;
    }
    if (version) {
        std::printf("%s\n", verstring + std::strlen("$VER: "));
        return 0;
    }
    if (action == "--launch")
        return launch_without_window() ? 0 : 1;
    return install_menu_entry() ? 0 : 1;
}

// Releases whatever init obtained, however far it got.
void shut()
{
    gui_shut();
    config_shut();
    platform::set_event_pump(nullptr);
    dropLibIFace(&IntuitionBase, &IIntuition);
    dropLibIFace(&RequesterBase, &IRequester);
}

int main(int argc, char **argv)
{
    // First of all: a standard stream the launcher was started without would
    // otherwise be taken by the next file it opens.
    platform::open_closed_std_streams();
    // A file-size limit makes a write fail (EFBIG) as a full disk would, instead of
    // ending the launcher in the middle of a save.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc > 1)
        return run_options(argc, argv);
    // Ctrl-C, a logout or a kill end the launcher through the loop, so that the
    // preferences are still written.
    platform::install_break_signals();
    // The desktop toolkit stands in for the platform's libraries. Its application
    // object is made when init opens "intuition.library", not before: only then is
    // it known that a display answers, and without one the launcher must end with
    // its message instead of being ended by the toolkit.
    platform::install_toolkit_libraries();

    int status = 0;
    if (init()) {
        BOOL quit = false;
        while (!quit) {
            const uint32 gotsigs = platform::Wait(gui_sigs | SIGBREAKF_CTRL_C);
            if (gotsigs & SIGBREAKF_CTRL_C)
                quit = true;
            if (gotsigs & gui_sigs)
                quit |= gui_handler(gotsigs);
        }
        platform::on_display_lost(nullptr);
        config_save();
    } else {
        platform::on_display_lost(nullptr);
        if (CONST_STRPTR why = platform::display_unavailable_reason()) {
            std::fflush(stdout); // after the message on standard output
            std::fprintf(stderr, "KTLaunch: %s\n", why);
            status = 1; // no window: not a success
        }
    }
    shut();
    return status;
}
