// The modal message box through which the launcher tells the user about failures.
#pragma once

#include <functional>
#include <string_view>

namespace platform {

// Whether a message box can be shown at all.
bool requester_available();

// Shows a modal box titled `title` with `body`, the error icon and one "OK" button,
// and returns once the user has dismissed it. False when it could not be shown.
bool show_error_requester(std::string_view title, std::string_view body);

namespace testing {
// While set, messages go to the hook instead of the screen; its result is the result
// of show_error_requester.
using RequesterHook = std::function<bool(std::string_view title, std::string_view body)>;
void set_requester_hook(RequesterHook hook);
} // namespace testing

} // namespace platform
