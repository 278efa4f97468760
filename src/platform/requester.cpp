#include "platform/requester.h"

#include <utility>

namespace platform {

namespace {
testing::RequesterHook &requester_hook() {
    static testing::RequesterHook hook;
    return hook;
}
} // namespace

// There is no window toolkit yet: only a test's hook can take messages.
bool requester_available() {
    return static_cast<bool>(requester_hook());
}

bool show_error_requester(std::string_view title, std::string_view body) {
    return requester_hook() && requester_hook()(title, body);
}

void testing::set_requester_hook(RequesterHook hook) {
    requester_hook() = std::move(hook);
}

} // namespace platform
