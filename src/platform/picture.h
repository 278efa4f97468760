// Pictures for the window: the banner from its file, and icons of the desktop's icon
// theme. Both are made once the window has been painted, by the window's classes, and
// neither reports a failure: every picture in the window is optional.
#pragma once

#include "platform/types.h"

#include <string>

namespace platform {

struct Picture;

// An IFF ILBM picture file. The file is read now, for the size the window keeps for
// it, and decoded once the window shows; if it cannot be decoded then, it gives its
// place back. Null when the file is missing, unreadable or not an ILBM picture.
Picture *open_picture(const std::string &path);

// The icon `icon_name` of the desktop's freedesktop icon theme, shown min_size by
// min_size device-independent pixels, sharp at the screen's pixel density; a theme
// without the icon falls back to Adwaita. The button keeps its place until it is
// looked up, and shows "X" if no theme has such an icon.
Picture *open_theme_picture(CONST_STRPTR icon_name, int32 min_size);

// Frees a picture from any of these functions; null is allowed.
void free_picture(Picture *picture);

} // namespace platform
