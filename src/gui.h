// The preferences window: its objects and identifiers, the language packs, the
// display mode, the mapping between gadgets and preferences, and its events.
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
    OID_GPU,      // chooser "Graphics Card", once switcheroo-control lists two or more
    OID_GAMEMODE, // check box "Game Mode", once GameMode answers
    NUM_OBJECTS
};

enum { WID_MAIN, NUM_WINDOWS };

// obj[OID_WIN_MAIN] owns the whole tree; the other slots are borrowed.
extern Object *obj[NUM_OBJECTS];
extern Window *win[NUM_WINDOWS];
extern uint32 wsig[NUM_WINDOWS];
// The signal bits of all open windows, for the main loop's wait.
extern uint32 gui_sigs;

// Languages offered by the language chooser ("english", then "german" and "french"
// where their packs are installed, then null) and the positions of the last two,
// -1 when not offered.
extern CONST_STRPTR languages[4];
extern int32 germanIndx;
extern int32 frenchIndx;

// The render modes: labels shown, and the words stored under "Config"/"Videocard".
extern CONST_STRPTR gfxmodes[3];
extern CONST_STRPTR gfxmodes_file[3];

// The chosen display mode, and its texts: shown in the window, and stored under
// "Warp3D"/"Size".
extern int32 hwWidth;
extern int32 hwHeight;
extern int32 bpp;
extern float Hz;
extern TEXT screenString[128];
extern TEXT guiScreenString[128];

// Empty handles, so that gui_shut is safe whatever happens next.
void gui_preinit();
// Builds the window from the stored preferences and opens it. False after telling
// the user why not.
BOOL gui_init();
// Disposes the window and closes the window's classes, however far gui_init got.
void gui_shut();
// Handles every pending event of the window; true when the program is to end.
BOOL gui_handler(uint32 gotsigs);

// Whether the German / French language pack is installed.
BOOL germanFilesInstalled();
BOOL frenchFilesInstalled();

// The index of `string` in the null-terminated `array`, ignoring letter case, or
// `defval`.
int32 index_from_string(CONST_STRPTR string, CONST_STRPTR const *array, int32 defval);

// Preferences to gadgets, once while the window is built; gadgets to preferences.
void set_gui_from_config();
void set_config_from_gui();

// Shows the display mode for render mode `indx`, and allows picking a screen mode
// only for the accelerated one.
void setDisplayGadgetFromIndex(uint32 indx);

// Starts the game beside the launcher; tells the user when it cannot. True when it
// started.
BOOL launch_game();
