// Display modes of the desktop and the modal requester that picks one.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

#include <functional>
#include <optional>
#include <vector>

namespace platform {

struct DisplayMode {
    int32 width = 0;
    int32 height = 0;
    int32 depth = 0;
    uint32 clocks_per_line = 0;
    uint32 lines_per_frame = 0;
    float clock_period_ns = 0;
};

float display_mode_rate(const DisplayMode &mode);

struct ScreenModeRequest {
    CONST_STRPTR title = "";
    Window *window = nullptr;
    int32 initial_width = 640, initial_height = 480, initial_depth = 8;
    int32 min_width = 640, min_height = 480, min_depth = 16, max_depth = 32;
};

std::optional<DisplayMode> request_screen_mode(const ScreenModeRequest &request);

namespace testing {
void set_screen_mode_hook(
    std::function<std::optional<DisplayMode>(const ScreenModeRequest &)> hook);
}

} // namespace platform
