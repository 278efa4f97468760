#include "fake_gui.h"
#include "platform/signals.h"

FakeGui fake_gui;

Object *obj[NUM_OBJECTS];
Window *win[NUM_WINDOWS];
uint32 wsig[NUM_WINDOWS];
uint32 gui_sigs = 0;

void gui_preinit()
{
    fake_gui.calls.push_back("preinit");
}

// An open window signals once, so that the loop makes a first pass.
BOOL gui_init()
{
    fake_gui.calls.push_back("init");
    if (!fake_gui.init_result)
        return false;
    wsig[WID_MAIN] = 1u << platform::AllocSignal();
    gui_sigs |= wsig[WID_MAIN];
    platform::Signal(wsig[WID_MAIN]);
    return true;
}

void gui_shut()
{
    fake_gui.calls.push_back("shut");
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
