// The modal message box of "requester.class".
#pragma once

#include "platform/library.h"
#include "platform/types.h"

#include <functional>
#include <string_view>

namespace platform {

// Shows a modal box with `title`, the first line of `body` as its plain-text message
// and the rest beneath it, the error icon and one
// button `button`, with no parent window, and returns once the user has dismissed
// it. False when the box could not be made.
bool show_error_requester(Interface *requester, CONST_STRPTR title, CONST_STRPTR body,
                          CONST_STRPTR button);

namespace testing {
// While set, requesters go to the hook instead of the screen; its result is the
// requester's result.
using RequesterHook = std::function<bool(std::string_view title, std::string_view body)>;
void set_requester_hook(RequesterHook hook);
} // namespace testing

} // namespace platform
