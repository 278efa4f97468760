// KTLaunch: the launcher and preferences editor of Karthos.
#include "configfile.h"
#include "gui.h"
#include "platform/desktop.h"
#include "platform/display.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "util.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using platform::SIGBREAKF_CTRL_C;

// Found by the version tools in the executable file itself.
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
    return gui_init();
}

// "Save & Launch" without the window, for a start from a game library or a pad:
// the game starts on the settings it has; messages go to standard error.
static BOOL launch_without_window()
{
    platform::install_console_libraries();
    const BOOL started = getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition) &&
                         getLibIFace(&RequesterBase, "requester.class", 51, &IRequester) &&
                         launch_game();
    dropLibIFace(&IntuitionBase, &IIntuition);
    dropLibIFace(&RequesterBase, &IRequester);
    return started;
}

// A menu entry for this launcher, wherever it is installed, with its icon.
static BOOL install_menu_entry()
{
    std::vector<std::string> written;
    std::string failed;
    const int error = platform::install_desktop_entry(
        {.id = "karthos-preferences",
         .name = "Karthos Preferences",
         .comment = "Set up the display and the language of Karthos, and start the game",
         .categories = "Game;",
         .icon_resource = ":/icons/karthos-preferences.svg"},
        written, failed);
    for (const std::string &file : written) std::printf("Installed %s\n", file.c_str());
    if (error)
        std::fprintf(stderr, "KTLaunch: cannot write %s: %s\n", failed.c_str(),
                     platform::file_error_text(error).c_str());
    return error == 0;
}

// The command line: none opens the window; --launch, --install-desktop-entry, --help
// and --version are answered here. The exit status: 0, 1 when the game did not start, 2 for a
// command line that is not understood.
static int run_options(int argc, char **argv)
{
    const std::string_view option = argv[1];
    if (argc > 2 || (option != "--launch" && option != "--help" && option != "--version" &&
                     option != "--install-desktop-entry")) {
        std::fprintf(stderr, "KTLaunch: unknown option '%s' (see KTLaunch --help)\n",
                     argv[argc > 2 && option.starts_with("--") ? 2 : 1]);
        return 2;
    }
    if (option == "--version")
        std::printf("%s\n", verstring + std::strlen("$VER: "));
    if (option == "--help")
        std::printf("Usage: KTLaunch [--launch | --help | --version]\n"
                    "The launcher and preferences editor of Karthos, in the game's directory.\n"
                    "  (no option)  open the preferences window\n"
                    "  --launch     start the game on its stored settings, without the window\n"
                    "  --install-desktop-entry\n"
                    "               add the launcher to your desktop's menu\n"
                    "  --help       show this text\n"
                    "  --version    show the version\n");
    if (option == "--launch")
        return launch_without_window() ? 0 : 1;
    if (option == "--install-desktop-entry")
        return install_menu_entry() ? 0 : 1;
    return 0;
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

    if (init()) {
        // Should the display go away, the toolkit ends the process from inside the
        // wait: the preferences are then saved as after a break.
        platform::on_display_lost([] { config_save(); });
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
    } else if (CONST_STRPTR hint = platform::display_missing_hint()) {
        std::fflush(stdout); // after the message on standard output
        std::fprintf(stderr, "KTLaunch: %s\n", hint);
    }
    shut();
    return 0;
}
