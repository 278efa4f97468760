// Placeholder until the picture loaders land.
#include "platform/picture.h"

#include "platform/qt_private.h"

namespace platform {
Picture *load_picture(const std::string &) {
    return nullptr;
}
Picture *theme_picture(CONST_STRPTR, int32) {
    return nullptr;
}
void free_picture(Picture *picture) {
    delete picture;
}
} // namespace platform
