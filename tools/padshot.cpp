// Opens the launcher's window for a game directory, as KTLaunch does, with one of SDL's
// virtual game controllers (an Xbox 360 pad) connected and pressed down once, for the
// README's picture of the pad's hint line and focus ring (scripts/screenshots.sh). The
// window then works as the launcher's does.
//   padshot GAME-DIRECTORY
#include "configfile.h"
#include "gui.h"
#include "platform/display.h"
#include "platform/files.h"
#include "platform/signals.h"
#include "util.h"

#include <QApplication>
#include <SDL.h>
#include <cstdio>

namespace pt = platform::testing;

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: padshot GAME-DIRECTORY\n");
        return 2;
    }
    pt::set_program_dir(argv[1]);
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
        return 1;
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.vendor_id = 0x045e;
    desc.product_id = 0x028e;
    SDL_Joystick *pad = SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&desc));

    platform::install_toolkit_libraries();
    gui_preinit();
    if (!pad || !getLibIFace(&IntuitionBase, "intuition.library", 51, &IIntuition) ||
        !getLibIFace(&RequesterBase, "requester.class", 51, &IRequester) || !config_init() ||
        !gui_init())
        return 1;
    platform::set_event_pump(IIntuition->pump_events);
    // Once the window is active and reads the pad, the pad moves the focus down.
    while (!QApplication::activeWindow() || pt::poll_gamepads(obj[OID_WIN_MAIN]) < 1)
        IIntuition->pump_events();
    for (const Uint8 down : {Uint8{1}, Uint8{0}}) {
        SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN, down);
        pt::poll_gamepads(obj[OID_WIN_MAIN]);
    }
    while (!gui_handler(platform::Wait(gui_sigs))) {
    }
    gui_shut();
    config_shut();
    SDL_JoystickClose(pad);
    return 0;
}
