// The connection to the desktop's display, on which every window and requester lives.
#pragma once

namespace platform {

// Connects to the display the environment names (X11, Wayland, or a platform given
// in QT_QPA_PLATFORM). False, without ending the program, when there is none.
// Connections are counted; the last disconnect closes it.
bool display_connect();
void display_disconnect();
bool display_connected();

} // namespace platform
