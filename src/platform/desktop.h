// Integration with the desktop: a menu entry for the launcher, where the user's
// desktop looks for one (the XDG directories).
#pragma once

#include "platform/types.h"

#include <string>
#include <vector>

namespace platform {

struct DesktopEntry {
    CONST_STRPTR id;      // the file names: "<id>.desktop", and "<id>.svg" for the icon
    CONST_STRPTR name;    // the menu's text
    CONST_STRPTR comment; // its tooltip
    CONST_STRPTR categories;
    CONST_STRPTR icon_resource; // the SVG icon built into the program, as a resource path
};

// Writes the entry, starting the running executable wherever it is, into
// $XDG_DATA_HOME/applications (default ~/.local/share/applications), and its icon
// into the hicolor theme there. The files written go to `written`. 0, or why not
// (see file_error_text); `failed` then names the file.
int install_desktop_entry(const DesktopEntry &entry, std::vector<std::string> &written,
                          std::string &failed);

} // namespace platform
