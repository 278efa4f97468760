// The real executable's mode list by keyboard, on Xorg's dummy driver with real timings.
#include "e2e_support.h"

namespace {

using namespace e2e;

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

struct Pick {
    std::string stored, keys, saved;
};

// From the largest mode, at its real rate, down to 640x480 (any of Xorg's own rates); the
// list opens on the stored mode; Escape changes nothing.
TEST_F(ModesE2E, KeysPickFromTheServersModesAndABreakCancels)
{
    const Pick cases[] = {{"800x600/16", "Home Return", "1920x1080/32:59.94"},
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
