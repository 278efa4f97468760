// Display modes of the desktop and the modal requester in which the player picks
// the one the game is to run on.
#pragma once

#include "platform/types.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct Window;

struct DisplayMode {
    int32 width = 0;
    int32 height = 0;
    // Bits per pixel as the game stores them: 32 on a screen of depth 24.
    int32 depth = 0;
    uint32 clocks_per_line = 0; // total pixel clocks per line, blanking included; 0 if unknown
    uint32 lines_per_frame = 0; // total lines per frame, blanking included; 0 if unknown
    float clock_period_ns = 0;  // length of one pixel clock in ns; 0 if unknown
    bool current = false;       // the mode the desktop is in now
};

// The mode's refresh rate in Hz, in single precision and in this order:
//   p = clocks_per_line * clock_period_ns; p = p * lines_per_frame;
//   p = p / 1000000000.0f; rate = 1.0f / p.
// 0 when any of the three is 0, or when the result is not a finite positive number.
float display_mode_rate(const DisplayMode &mode);

// The mode as the requester lists it: "1920x1080 32Bit 59.94 Hz", or "1920x1080 32Bit"
// when its rate is 0. The rate has two decimals and always a decimal point.
std::string display_mode_text(const DisplayMode &mode);

struct ScreenModeRequest {
    CONST_STRPTR title = "";
    // The launcher's open window: the requester is modal over it, and the window takes
    // no input while the requester is open. May be null.
    Window *window = nullptr;
    // The mode the list starts on: the stored one, where the list has its size and its
    // rate (to two decimals); else the desktop's current mode; else the listed one of
    // the initial width and height, or the nearest (the depth plays no part).
    int32 stored_width = 0, stored_height = 0;
    float stored_rate = 0;
    int32 initial_width = 640, initial_height = 480, initial_depth = 8;
    // Only modes of at least this size, with min_depth to max_depth bits, are offered.
    int32 min_width = 640, min_height = 480, min_depth = 16, max_depth = 32;
};

// Every mode the desktop offers. On X11 these are the modes of the connected outputs,
// with their timings, from the RandR extension; elsewhere (Wayland, offscreen, an X
// server without RandR 1.2 or without a connected output) the current mode of each
// screen, whose timings give its refresh rate. `from_xrandr`, when given, tells which
// of the two it was. Empty without a display connection.
std::vector<DisplayMode> desktop_display_modes(bool *from_xrandr = nullptr);

// The modes the requester lists out of `all`: those of at least the request's minimum
// size with a depth in its range, each width, height and rate (to two decimals) once,
// the first of equals kept (current if any of them is), sorted by width, then height,
// then rate, largest first.
std::vector<DisplayMode> offered_modes(const std::vector<DisplayMode> &all,
                                       const ScreenModeRequest &request);

// The row of `modes` the requester starts on: the stored mode, else the current one,
// else the first of the initial size or the nearest to it; -1 when there is none.
int initial_row(const std::vector<DisplayMode> &modes, const ScreenModeRequest &request);

// Gathers the desktop's modes and shows the modal requester, titled request.title,
// over request.window. The chosen mode, or nothing when the player cancelled or the
// requester could not be made.
std::optional<DisplayMode> request_screen_mode(const ScreenModeRequest &request);

} // namespace platform
