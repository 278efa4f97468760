// The real executable by keyboard: the file after every way out; modes on Xorg's dummy driver.
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

struct ModesE2E : LauncherE2E {
    ModesE2E() : LauncherE2E(XServer::xorg_dummy) {}

    // Starts in Vexel mode on `size` and opens the list from the screen-mode button.
    void open_requester(const std::string &size)
    {
        start("[Config]\nVideocard = Vexel\n[Warp3D]\nSize = " + size + "\n");
        keys("Tab Tab Tab space"); // from Save & Launch, past the buttons
        wait_for("Pick a screenmode");
    }
};

// Picked: the largest mode at its real rate, 640x480 at any rate, the stored one the list opens on.
TEST_F(ModesE2E, KeysPickFromTheServersModesAndABreakCancels)
{
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"800x600/16", "Home Return", "1920x1080/32:59.94"},
        {"800x600/16", "End Return", "640x480/32:"},
        {"1024x768/32:60.00", "Return", "1024x768/32:60.00"},
        {"1024x768/32:60.00", "Home Escape", "1024x768/32:60.00"}};
    for (const auto &[stored, typed, saved] : cases) {
        open_requester(stored);
        keys(typed, "Pick a screenmode");
        keys("alt+s");
        expect_clean_exit();
        EXPECT_NE(prefs().find("\tSize = " + saved), std::string::npos) << prefs();
    }
    // A break while the requester is open cancels it, and the launcher ends with the save.
    open_requester("800x600/16");
    kill(launcher->pid(), SIGTERM);
    expect_clean_exit();
    EXPECT_EQ(prefs(), "[Config]\n\n\tVideocard = Vexel\n\n[Warp3D]\n\n\tSize = 800x600/16\n");
}

} // namespace
