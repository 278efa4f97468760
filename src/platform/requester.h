// "requester.class": the modal message box.
#pragma once

#include "platform/library.h"
#include "platform/types.h"

namespace platform {

struct RequesterIFace : Interface {
    // Shows a modal box with `title`, the first line of `body` as its plain-text
    // message and the rest beneath it, the error icon and one button `button`, with
    // no parent window, and returns once the user has dismissed it. False when the
    // box could not be made.
    bool (*show)(CONST_STRPTR title, CONST_STRPTR body, CONST_STRPTR button) = nullptr;
    // A text of `context` in the user's language (platform/translate.h); none: English.
    CONST_STRPTR (*translate)(CONST_STRPTR context, CONST_STRPTR text) = nullptr;
};

} // namespace platform
