// Pictures for the window: loaded from files, or taken from the desktop's icon theme.
// Both need the display connection (display_connect), and neither reports a failure:
// every picture in the window is optional.
#pragma once

#include "platform/types.h"

#include <string>

namespace platform {

struct Picture;

// A picture from a file: an IFF ILBM picture, or any other format SDL2_image reads
// (PNG, GIF, BMP, ...). It is decoded once it is first shown (by NewImage), so that a
// window can open without waiting for the image library: only the picture's size is
// read now. Null when the file is missing or its size cannot be read; if it cannot be
// decoded then, it gives its place back.
Picture *open_picture(const std::string &path);

// The icon `icon_name` of the desktop's freedesktop icon theme, at least min_size by
// min_size device-independent pixels and sharp at the screen's pixel density; a theme
// without the icon falls back to Adwaita. It is looked up once it is first shown (by
// NewButton); until then the button keeps its place, and it shows "X" if no theme has
// such an icon.
Picture *open_theme_picture(CONST_STRPTR icon_name, int32 min_size);

// Frees a picture from any of these functions; null is allowed.
void free_picture(Picture *picture);

} // namespace platform
