// The real executable as an ordinary user beside another writer, and at the limits.
#include "e2e_support.h"

#include <cstring>

namespace {

using namespace e2e;

// The window's settings in the launcher's layout, Windowed and showFPS as given.
std::string layout(int windowed, int show_fps)
{
    return "[Config]\n\n\tVideocard = Vexel\n\tWindowed = " + std::to_string(windowed) +
           "\n\tShowFPS = " + std::to_string(show_fps) +
           "\n\tSyncToScreen = 0\n\n[Warp3D]\n\n\tSize = 800x600/32:59.94\n";
}
// From "Save & Launch", where the focus starts, back to Windowed or showFPS.
const std::string TICK_WINDOWED = "shift+Tab shift+Tab space", TICK_SHOWFPS = "shift+Tab space";

class FilesE2E : public LauncherE2E {
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "runs the launcher as another user: needs root";
        LauncherE2E::SetUp();
    }
};

// The first of two launchers ticks Windowed and saves, the second showFPS: both stay.
TEST_F(FilesE2E, TwoLaunchersSavingDifferentSettingsKeepBoth)
{
    start(layout(0, 0), true);
    const std::unique_ptr<Process> second = game.start(user_vars());
    wait_for(TITLE, second->pid());
    keys(TICK_WINDOWED + " alt+s", TITLE, launcher->pid());
    EXPECT_EQ(launcher->wait(), 0);
    keys(TICK_SHOWFPS + " alt+s", TITLE, second->pid());
    EXPECT_EQ(second->wait(), 0);
    EXPECT_EQ(prefs(), layout(1, 1));
}

// A file of exactly 64 MiB is read; one the layout would lengthen is not written.
TEST_F(FilesE2E, AFileAtTheReadLimitIsReadAndNeverWrittenLonger)
{
    for (const auto &[head, told] :
         {std::pair{"[Big]\n\n\tBlob = ", false}, {"[Big]\nBlob = ", true}}) {
        const std::string file =
            head + std::string(platform::MAX_READ_SIZE - std::strlen(head) - 1, 'x') + "\n";
        start(file, true);
        keys("Escape");
        if (told)
            dismiss_error();
        EXPECT_EQ(launcher->wait(), 0);
        EXPECT_TRUE(prefs() == file) << head;
    }
}

} // namespace
