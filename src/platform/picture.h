// Pictures for the window: from files and from the desktop's icon theme.
#pragma once

#include "platform/types.h"

#include <string>

namespace platform {

struct Picture;

// A picture from a file (IFF ILBM, or another format the image library reads); null
// when it is missing or cannot be decoded.
Picture *load_picture(const std::string &path);
// An icon of the desktop's theme, at least min_size pixels square; null without one.
Picture *theme_picture(CONST_STRPTR icon_name, int32 min_size);
void free_picture(Picture *picture);

} // namespace platform
