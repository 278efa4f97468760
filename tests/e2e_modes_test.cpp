// The screen-mode requester of the real executable on an X server with real mode
// timings (Xorg with the dummy driver), driven by the keyboard.
#include "e2e_support.h"
#include "x_server.h"

namespace {

using namespace e2e;

class ModesE2E : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(xorg.display().empty()) << xorg.error(); }

    // Starts the launcher in Vexel mode with `size` stored, and waits for its window.
    void start(const std::string &size = "800x600/16")
    {
        write_file(game.prefs(), "[Config]\nVideocard = Vexel\n[Warp3D]\nSize = " + size + "\n");
        launcher = game.start({{"DISPLAY", xorg.display()}});
        window = find_window(xorg.display(), "Karthos Preferences");
        ASSERT_FALSE(window.empty()) << launcher->errors();
    }

    // Opens the requester from the screen-mode button (the first gadget), types
    // `keys` there, then leaves with "Save & Quit"; the stored display mode.
    std::string pick_with(const std::string &keys)
    {
        type_keys(xorg.display(), window, "space");
        const std::string requester = find_window(xorg.display(), "Pick a screenmode");
        EXPECT_FALSE(requester.empty()) << "no requester";
        type_keys(xorg.display(), requester, keys);
        type_keys(xorg.display(), window, "alt+s");
        EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
        const std::string saved = read_file(game.prefs());
        const auto at = saved.find("\tSize = ");
        return at == std::string::npos ? "" : saved.substr(at + 8, saved.find('\n', at) - at - 8);
    }

    XServer xorg{XServer::xorg_dummy};
    GameDir game;
    std::unique_ptr<Process> launcher;
    std::string window;
};

// The largest mode first, with its real rate; nothing below 640x480.
TEST_F(ModesE2E, ListRunsFromTheLargestModeTo640x480)
{
    start();
    EXPECT_EQ(pick_with("Home Return"), "1920x1080/32:59.94");
}

TEST_F(ModesE2E, ListEndsAt640x480)
{
    start();
    EXPECT_EQ(pick_with("End Return").rfind("640x480/32:", 0), 0u);
}

// The list opens on the stored mode: Return right away keeps it as it is.
TEST_F(ModesE2E, ListOpensOnTheStoredMode)
{
    for (const std::string size : {"1920x1080/32:59.94", "1024x768/32:60.00"}) {
        start(size);
        EXPECT_EQ(pick_with("Return"), size);
    }
}

TEST_F(ModesE2E, BreakWhileTheRequesterIsOpenStillSaves)
{
    start();
    type_keys(xorg.display(), window, "space");
    ASSERT_FALSE(find_window(xorg.display(), "Pick a screenmode").empty());
    kill(launcher->pid(), SIGTERM);
    EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
    EXPECT_EQ(read_file(game.prefs()),
              "[Config]\n\n\tVideocard = Vexel\n\n[Warp3D]\n\n\tSize = 800x600/16\n");
}

} // namespace
