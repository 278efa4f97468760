// The preferences window: its objects, its identifiers and its life.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

using platform::Object;
using platform::Window;

// Objects of the window; each value is at once the index into `obj` and the gadget
// identifier that the gadget reports. Slots without an object in this window stay
// null.
enum {
    OID_WIN_MAIN,
    OID_TABS,
    OID_PAGES,
    OID_VSYNC,
    OID_SCREENSEL,
    OID_SCREENSTRING,
    OID_SND_UNIT,
    OID_SND_MUSIC,
    OID_SND_VOICE,
    OID_JOY_1ST,
    OID_JOY_2ND,
    OID_JOY_3RD,
    OID_JOY_AICONF,
    OID_GFX_DETAIL,
    OID_GFX_MODE,
    OID_GFX_WINDOWED,
    OID_GFX_SHOWFPS,
    OID_LANGUAGE,
    OID_NET_TYPE,
    OID_NET_SPEED,
    OID_MEM_SNDCACHE,
    OID_MEM_SNDCACHEDIS,
    OID_MEM_GFXCACHE,
    OID_MEM_GFXCACHEDIS,
    OID_MEM_SCALETEX,
    OID_MEM_FRAMESKIP,
    OID_SAVE_LAUNCH,
    OID_SAVE_QUIT,
    OID_QUIT,
    NUM_OBJECTS
};

enum { WID_MAIN, NUM_WINDOWS };

// obj[OID_WIN_MAIN] owns the whole tree; the other slots are borrowed.
extern Object *obj[NUM_OBJECTS];
extern Window *win[NUM_WINDOWS];
extern uint32 wsig[NUM_WINDOWS];
// The signal bits of all open windows, for the main loop's wait.
extern uint32 gui_sigs;

// Empty handles, so that gui_shut is safe whatever happens next.
void gui_preinit();
// Builds the window from the stored preferences and opens it. False after telling
// the user why not.
BOOL gui_init();
// Disposes the window and closes the window's classes, however far gui_init got.
void gui_shut();
// Handles every pending event of the window; true when the program is to end.
BOOL gui_handler(uint32 gotsigs);
