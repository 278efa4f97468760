// The real executable driven by the keyboard; the whole file compared after every way out.
#include "e2e_support.h"
#include "ilbm.h"

#include <map>

namespace {

using namespace e2e;

// Stored with odd spacing and a section the window does not show; Vexel mode, vSync on.
const std::string STORED =
    "[Config]\nVideocard   =   Vexel\nSyncToScreen = 1\nWindowed = 0\n"
    "ShowFPS = 0\n[Warp3D]\nSize = 800x600/32:59.94\n[AmigaInput]\nJoy1 = 0\n";
// STORED in the writer's layout, with "showFPS" as given.
std::string written(int show_fps)
{
    return "[Config]\n\n\tVideocard = Vexel\n\tSyncToScreen = 1\n\tWindowed = 0\n\tShowFPS = " +
           std::to_string(show_fps) +
           "\n\n[Warp3D]\n\n\tSize = 800x600/32:59.94\n\n[AmigaInput]\n\n\tJoy1 = 0\n";
}

// From "Save & Launch", where the focus starts, back to showFPS, and tick it.
const std::string TICK_SHOWFPS = "shift+Tab space";

struct WayOut {
    const char *name;
    std::string keys; // after ticking "showFPS"; empty: the window's close button
    int show_fps;     // as the file has it afterwards
    bool launches = false;
    bool tick = true;
    int signal = 0;          // sent instead of keys
    std::string limits = ""; // prlimit's options
};

class WaysOut : public LauncherE2E, public ::testing::WithParamInterface<WayOut> {};

// Every way out rewrites the file: with the window's values after a save, else as loaded.
TEST_P(WaysOut, RewriteTheFile)
{
    start(STORED, false, GetParam().limits);
    if (GetParam().tick)
        keys(TICK_SHOWFPS);
    if (GetParam().signal)
        wait_for(TITLE), kill(launcher->pid(), GetParam().signal);
    else if (GetParam().keys.empty())
        shell(x.display(), XCLOSE " " + wait_for(TITLE)); // as the close button does
    else
        keys(GetParam().keys);
    expect_clean_exit();
    EXPECT_EQ(prefs(), written(GetParam().show_fps));
    // The game runs on its own, in its directory, and finds the new settings there.
    if (GetParam().launches) {
        EXPECT_EQ(starts(), "started\n");
        EXPECT_EQ(read_file(report / "found.prefs"), written(GetParam().show_fps));
    } else {
        EXPECT_FALSE(fs::exists(report / "starts"));
    }
}

INSTANTIATE_TEST_SUITE_P(Keyboard, WaysOut,
                         ::testing::Values(WayOut{"Quit", "Tab Tab Tab space", 0},
                                           WayOut{"CloseButton", "", 0},
                                           WayOut{"Escape", "Escape", 0},
                                           WayOut{"SaveAndQuit", "alt+s", 1},
                                           WayOut{"SaveAndLaunch", "alt+l", 1, true},
                                           // Return: the focused button, else Save & Launch.
                                           WayOut{"ReturnOnQuit", "Tab Tab Tab Return", 0},
                                           WayOut{"ReturnOnACheckBox", "Return", 1, true},
                                           WayOut{"KeypadEnter", "KP_Enter", 1, true},
                                           // At once, with a screen mode to pick.
                                           WayOut{"ReturnAtStart", "Return", 0, true, false},
                                           WayOut{"Sigint", "", 0, false, true, SIGINT},
                                           WayOut{"Sigterm", "", 0, false, true, SIGTERM},
                                           WayOut{"Sighup", "", 0, false, true, SIGHUP},
                                           // A soft stack limit too low for the toolkit: raised.
                                           WayOut{"LowStackLimit", "", 0, false, true, SIGTERM,
                                                  "prlimit --stack=65536:unlimited"}),
                         [](const auto &test) { return std::string(test.param.name); });

} // namespace

// A banner taller than the screen is shown smaller: the whole window stays on the screen.
TEST_F(LauncherE2E, TallBannerIsShrunkUntilTheWindowFitsTheScreen)
{
    const ilbm::IndexedImage tall{
        400, 1500, {{0, 0, 0}, {255, 255, 255}}, std::vector<std::uint8_t>(400 * 1500, 1)};
    const std::vector<std::uint8_t> banner = ilbm::encode(tall);
    write_file(game.path() / "kt.iff", std::string(banner.begin(), banner.end()));
    start(STORED);
    std::map<std::string, int> at; // X, Y, WIDTH, HEIGHT
    std::istringstream lines(
        shell(x.display(), "xdotool getwindowgeometry --shell " + wait_for(TITLE)));
    for (std::string line; std::getline(lines, line);)
        at[line.substr(0, line.find('='))] = std::atoi(line.substr(line.find('=') + 1).c_str());
    EXPECT_GE(at["X"], 0);
    EXPECT_GE(at["Y"], 0);
    EXPECT_LE(at["X"] + at["WIDTH"], 1280); // the test's X server: 1280 x 800
    EXPECT_LE(at["Y"] + at["HEIGHT"], 800);
    EXPECT_GT(at["HEIGHT"], 400); // the controls and some banner
}
