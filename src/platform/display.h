// The connection to the desktop's display, on which every window and requester lives.
#pragma once

#include "platform/library.h"

#include <functional>

namespace platform {

// "intuition.library": the desktop's display.
struct IntuitionIFace : Interface {
    bool (*connected)() = nullptr; // false once the display has gone away
    // Handles the display's events until at least one has come: the pump that Wait
    // runs (see set_event_pump).
    void (*pump_events)() = nullptr;
};

// Offers the toolkit to OpenLibrary as the platform's libraries: "intuition.library"
// (the display; opening it makes the toolkit's application object), "requester.class"
// and the nine window classes, which need the display open. A library already on
// offer under one of these names is left in place.
void install_toolkit_libraries();

// Offers a display and a requester for a run without a window instead: requesters
// become lines on standard error, and message boxes too where a display answers.
void install_console_libraries();

// Why the last connect could not show a window, for the user ("no X11 or Wayland
// display: ...", a limit of the process, a display of too few colours), or null when
// it could or has not been tried.
CONST_STRPTR display_unavailable_reason();

// Connects to the display the environment names (X11, Wayland, or a platform given
// in QT_QPA_PLATFORM). False, without ending the program, when there is none or the
// toolkit cannot work there (see display_unavailable_reason). A stack limit too low
// for the toolkit is raised where the hard limit allows.
// Connections are counted; the last disconnect closes it.
bool display_connect();
void display_disconnect();
bool display_connected();
void display_pump_events();

// When the display goes away (the X server ends, a logout), the toolkit ends the
// process from inside its event loop. While a handler is set, that end runs the
// handler instead (with no display: requesters fall back to standard output) and
// the process then ends with status 0, before anything of the toolkit is torn down.
void on_display_lost(std::function<void()> handler);

} // namespace platform
