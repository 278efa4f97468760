#include "gui.h"

#include "util.h"

using namespace platform;

Object *obj[NUM_OBJECTS];
Window *win[NUM_WINDOWS];
uint32 wsig[NUM_WINDOWS];
uint32 gui_sigs = 0;

void gui_preinit() {
    for (Object *&o : obj) o = nullptr;
    win[WID_MAIN] = nullptr;
    wsig[WID_MAIN] = 0;
}

BOOL gui_init() {
    obj[OID_WIN_MAIN] = NewWindowObject(
        {.title = "Karthos Preferences", .about = nullptr, .layout = NewVGroup(nullptr, 0)});
    if (!obj[OID_WIN_MAIN]) {
        error_requestf("Unable to create GUI");
        return false;
    }
    win[WID_MAIN] = WindowOpen(obj[OID_WIN_MAIN]);
    if (!win[WID_MAIN]) {
        error_requestf("Unable to open the GUI");
        return false;
    }
    wsig[WID_MAIN] = WindowSignalMask(obj[OID_WIN_MAIN]);
    gui_sigs |= wsig[WID_MAIN];
    return true;
}

void gui_shut() {
    if (obj[OID_WIN_MAIN]) {
        DisposeObject(obj[OID_WIN_MAIN]);
        obj[OID_WIN_MAIN] = nullptr;
    }
}

BOOL gui_handler(uint32 gotsigs) {
    BOOL pleasequit = false;
    if (!(gotsigs & wsig[WID_MAIN])) return false;
    uint16 code = 0;
    for (uint32 result; (result = WindowHandleInput(obj[OID_WIN_MAIN], &code)) != WMHI_LASTMSG;) {
        if ((result & WMHI_CLASSMASK) == WMHI_CLOSEWINDOW) pleasequit = true;
    }
    return pleasequit;
}
