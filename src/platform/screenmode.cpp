// Placeholder until the requester lands.
#include "platform/screenmode.h"

#include <cmath>

namespace platform {
namespace {
std::function<std::optional<DisplayMode>(const ScreenModeRequest &)> hook;
}
float display_mode_rate(const DisplayMode &mode)
{
    float p = static_cast<float>(mode.clocks_per_line) * mode.clock_period_ns;
    p = p * static_cast<float>(mode.lines_per_frame);
    p = p / 1000000000.0f;
    const float rate = 1.0f / p;
    return std::isfinite(rate) && rate > 0 ? rate : 0.0f;
}
std::optional<DisplayMode> request_screen_mode(const ScreenModeRequest &request)
{
    return hook ? hook(request) : std::nullopt;
}
void testing::set_screen_mode_hook(
    std::function<std::optional<DisplayMode>(const ScreenModeRequest &)> h)
{
    hook = std::move(h);
}
} // namespace platform
