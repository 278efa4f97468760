// KTLaunch: the launcher and preferences editor of Karthos.
#include "configfile.h"
#include "gui.h"
#include "platform/display.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "util.h"

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
    if (!getLibIFace(&RequesterBase, "requester.class", 51, &IRequester))
        return false;
    if (!config_init())
        return false;
    return gui_init();
}

// Releases whatever init obtained, however far it got.
void shut()
{
    gui_shut();
    config_shut();
    dropLibIFace(&IntuitionBase, &IIntuition);
    dropLibIFace(&RequesterBase, &IRequester);
}

int main()
{
    // First of all: a standard stream the launcher was started without would
    // otherwise be taken by the next file it opens.
    platform::open_closed_std_streams();
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
    }
    shut();
    return 0;
}
