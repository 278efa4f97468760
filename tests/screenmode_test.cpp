// Display modes, the modes offered, and where the list starts (a real server's: end to end).
#include "platform/screenmode.h"

#include "test_support.h"

#include <cstdio>

namespace {

using platform::DisplayMode;
using platform::ScreenModeRequest;

// "1920x1080x32 148.352 2200 1125, ...": size, depth, pixel clock in MHz, clocks and lines.
std::vector<DisplayMode> modes(const std::string &list)
{
    std::vector<DisplayMode> result;
    std::istringstream in(list);
    for (std::string text; std::getline(in, text, ',');) {
        DisplayMode &m = result.emplace_back();
        double mhz = 0;
        const int n = std::sscanf(text.c_str(), "%dx%dx%d %lf %u %u", &m.width, &m.height, &m.depth,
                                  &mhz, &m.clocks_per_line, &m.lines_per_frame);
        m.clock_period_ns = n >= 4 ? static_cast<float>(1e3 / mhz) : 0.0f;
    }
    return result;
}

std::string texts(const std::vector<DisplayMode> &modes)
{
    std::string result;
    for (const DisplayMode &m : modes)
        result += (result.empty() ? "" : ", ") + platform::display_mode_text(m);
    return result;
}

TEST(DisplayMode, RateInSinglePrecisionInItsOrderAndText)
{
    // At 148.5, 65 and 25.175 MHz, double precision or another order gives another float.
    std::vector<std::tuple<std::string, std::string, float>> cases = {
        {"1920x1080x32 148.352 2200 1125", "1920x1080 32Bit 59.94 Hz", 0x1.df858ap+5f},
        {"1920x1080x32 148.5 2200 1125", "1920x1080 32Bit 60.00 Hz", 0x1.dffffep+5f},
        {"1024x768x32 65 1344 806", "1024x768 32Bit 60.00 Hz", 0x1.e007ep+5f},
        {"640x480x16 25.175 800 525", "640x480 16Bit 59.94 Hz", 0x1.df861ap+5f}};
    // No timings, clocks or lines; periods of 0, NaN, +-inf, < 0, ~FLT_MAX, FLT_TRUE_MIN, 1e-38.
    for (const char *bad : {"", " 1 0 1125", " 1 2200 0", " inf 2200 1125", " nan 2200 1125",
                            " 0 2200 1125", " -0 2200 1125", " -1 2200 1125", " 3e-36 2200 1125",
                            " 7e47 2200 1125", " 1e41 2200 1125"})
        cases.push_back({"1920x1080x32" + std::string(bad), "1920x1080 32Bit", 0.0f});
    for (const auto &[timings, text, rate] : cases) {
        const DisplayMode m = modes(timings).at(0);
        EXPECT_EQ(platform::display_mode_text(m), text) << timings;
        EXPECT_EQ(platform::display_mode_rate(m), rate) << timings;
    }
}

TEST(OfferedModes, FilteredOnceEachLargestFirst)
{
    const std::string mixed =
        "639x480x32, 640x479x32, 640x480x8, 800x600x15 40 1056 628, 800x600x33, -1024x768x32,"
        "640x480x16 25.175 800 525, 640x480x32 31.5 832 520, 1024x768x24 65 1344 806";
    const std::tuple<ScreenModeRequest, std::string, std::string> cases[] = {
        {{}, mixed, "1024x768 24Bit 60.00 Hz, 640x480 32Bit 72.81 Hz, 640x480 16Bit 59.94 Hz"},
        {{.min_width = 700, .min_depth = 15, .max_depth = 16}, mixed, "800x600 15Bit 60.32 Hz"},
        {{},
         "1280x960x32 148.5 1728 1011, 1920x1080x32 148.352 2200 1125, 1280x1024x32,"
         "1920x1080x16 148.352 2200 1125, 1920x1080x32 148.5 2200 1125, 1280x1024x16,"
         "1920x1080x32 148.35 2200 1125, 1400x900x32 103.5 1848 934, "
         "1280x1024x32 108 1688 1066, 1920x1080x24 148.5 2200 1125",
         "1920x1080 32Bit 60.00 Hz, 1920x1080 32Bit 59.94 Hz, 1400x900 32Bit 59.96 Hz, "
         "1280x1024 32Bit 60.02 Hz, 1280x1024 32Bit, 1280x960 32Bit 85.00 Hz"}};
    for (const auto &[request, all, offered] : cases)
        EXPECT_EQ(texts(platform::offered_modes(modes(all), request)), offered) << all;
}

// The list starts on the stored mode (rate to two decimals), the current, or the nearest.
TEST(RequesterStart, StoredCurrentOrNearestMode)
{
    const std::string listed = "1024x768x32 65 1344 806, 800x600x32, 640x480x32 25.175 800 525";
    std::vector<DisplayMode> current = modes(listed);
    current[1].current = true;
    const std::tuple<std::vector<DisplayMode>, ScreenModeRequest, int> cases[] = {
        {current, {.stored_width = 1024, .stored_height = 768, .stored_rate = 60.004f}, 0},
        {current, {.stored_width = 1024, .stored_height = 768, .stored_rate = 59.94f}, 1},
        {current, {}, 1},
        {modes(listed), {}, 2},
        {modes(listed), {.initial_width = 1000, .initial_height = 700}, 0},
        {modes(listed), {.initial_width = 760, .initial_height = 580}, 1},
        {{}, {}, -1}};
    int n = 0;
    for (const auto &[all, request, row] : cases)
        EXPECT_EQ(platform::initial_row(all, request), row) << "case " << n++;
}

} // namespace
