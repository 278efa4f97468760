// Integration with the desktop: a menu entry for the launcher, where the user's
// desktop looks for one (the XDG directories).
#pragma once

#include "platform/types.h"

#include <string>
#include <vector>

namespace platform {

// The texts (name, comment, action_name) are English, and are written in every language
// the launcher has as well, looked up in the context "DesktopEntry".
struct DesktopEntry {
    CONST_STRPTR id;      // the file names: "<id>.desktop", and "<id>.svg" for the icon
    CONST_STRPTR name;    // the menu's text
    CONST_STRPTR comment; // its tooltip
    CONST_STRPTR categories;
    CONST_STRPTR icon_resource;           // the SVG icon built into the program, as a resource path
    CONST_STRPTR window_class;            // the class of the program's window, for docks to match
    CONST_STRPTR action = nullptr;        // an action of the entry's own (e.g. in a dock's menu)...
    CONST_STRPTR action_option = nullptr; // ...which starts the program with this option
    CONST_STRPTR action_name = nullptr;   // ...and is shown with this name
};

// Writes the entry, starting the running executable wherever it is, into
// $XDG_DATA_HOME/applications (default ~/.local/share/applications), and its icon
// into the hicolor theme there. The files written go to `written`. Empty, or why not,
// for the user; nothing is written when the executable's path cannot be carried by an
// entry (a control character, or bytes that are not UTF-8) or there is no home.
std::string install_desktop_entry(const DesktopEntry &entry, std::vector<std::string> &written);

} // namespace platform
