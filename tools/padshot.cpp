// Opens the launcher's window for a game directory, as KTLaunch does, with one of SDL's
// virtual game controllers (an Xbox 360 pad) connected and pressed down once, for the
// README's picture of the pad's hint line and focus ring (scripts/screenshots.sh). The
// window then works as the launcher's does; with "dark", in a dark palette.
//   padshot GAME-DIRECTORY [dark]
#include "configfile.h"
#include "gui.h"
#include "platform/display.h"
#include "platform/files.h"
#include "platform/gamepad.h"
#include "platform/signals.h"
#include "util.h"
#include "virtual_pad.h"

#include <QApplication>
#include <QPalette>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pt = platform::testing;

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "dark") != 0)) {
        std::fprintf(stderr, "usage: padshot GAME-DIRECTORY [dark]\n");
        return 2;
    }
    pt::set_program_dir(argv[1]);
    pt::assume_pad_attached(true); // udev does not list virtual pads
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
        return 1;
    VirtualPad pad(0x045e, 0x028e); // an Xbox 360 pad

    platform::install_toolkit_libraries();
    gui_preinit();
    if (!pad.attached() || !getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition))
        return 1;
    if (argc == 3) { // a dark desktop's colours, as a dark theme gives them
        QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x2b, 0x2b, 0x2b));
        dark.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
        QApplication::setPalette(dark);
    }
    if (!getLibIFace(&RequesterBase, "requester.class", 51, &IRequester) || !config_init() ||
        !gui_init())
        return 1;
    platform::set_event_pump(IIntuition->pump_events);
    // Once the window is active and reads the pad, the pad moves the focus down.
    while (!QApplication::activeWindow() || pt::poll_gamepads(obj[OID_WIN_MAIN]) < 1)
        IIntuition->pump_events();
    for (const int down : {1, 0}) {
        pad.set(SDL_CONTROLLER_BUTTON_DPAD_DOWN, down);
        pt::poll_gamepads(obj[OID_WIN_MAIN]);
    }
    while (!gui_handler(platform::Wait(gui_sigs))) {
    }
    gui_shut();
    config_shut();
    return 0;
}
