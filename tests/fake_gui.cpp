#include "fake_gui.h"

#include "gui.h"
#include "platform/signals.h"

FakeGui fake_gui;

Object *obj[NUM_OBJECTS];
Window *win[NUM_WINDOWS];
uint32 wsig[NUM_WINDOWS];
uint32 gui_sigs = 0;

void gui_preinit()
{
    fake_gui.calls.push_back("preinit");
    wsig[WID_MAIN] = 0;
}

BOOL gui_init()
{
    fake_gui.calls.push_back("init");
    if (!fake_gui.init_result)
        return false;
    const int32 signum = platform::AllocSignal();
    fake_gui.window_bit = wsig[WID_MAIN] = 1u << signum;
    gui_sigs |= wsig[WID_MAIN];
    if (fake_gui.on_init)
        fake_gui.on_init();
    return true;
}

void gui_shut()
{
    fake_gui.calls.push_back("shut");
    if (wsig[WID_MAIN]) {
        for (int32 signum = 0; signum < 32; ++signum)
            if (wsig[WID_MAIN] == 1u << signum)
                platform::FreeSignal(signum);
        gui_sigs &= ~wsig[WID_MAIN];
        wsig[WID_MAIN] = 0;
    }
}

BOOL gui_handler(uint32 gotsigs)
{
    fake_gui.calls.push_back("handler");
    fake_gui.handler_sigs.push_back(gotsigs);
    return fake_gui.on_handler(gotsigs);
}

BOOL launch_game() // starting the game is tried end to end, with the real window module
{
    return false;
}
