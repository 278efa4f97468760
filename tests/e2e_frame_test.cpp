// The real executable, started as a user would: without a display, and on a display
// until a signal ends it.
#include "e2e_support.h"

namespace {

using namespace e2e;

// Saved by a Windows editor: a byte order mark, then the first section.
const std::string MESSY = "\xEF\xBB\xBF[Config]\nShowFPS   =   1\njunk in a section\n"
                          "[AmigaInput]\n\tJoy1 = 0 \n[config]\nWindowed = 0\n";
const std::string NORMALISED = "[Config]\n\n\tShowFPS = 1\n\tWindowed = 0\n\n"
                               "[AmigaInput]\n\n\tJoy1 = 0 \n";

TEST(RealExecutable, WithoutADisplaySaysSoAndLeavesTheFileAlone)
{
    GameDir game;
    write_file(game.prefs(), MESSY);
    auto launcher = game.start({});
    EXPECT_EQ(launcher->wait(), 0);
    EXPECT_EQ(launcher->output(), "Unable to open 'intuition.library', version 51+");
    EXPECT_EQ(read_file(game.prefs()), MESSY);

    auto refused = game.start({{"DISPLAY", ":96"}}); // no server there
    EXPECT_EQ(refused->wait(), 0);
    EXPECT_EQ(refused->output(), "Unable to open 'intuition.library', version 51+");
    EXPECT_EQ(read_file(game.prefs()), MESSY);
}

class SignalEndsLauncher : public ::testing::TestWithParam<int> {};

TEST_P(SignalEndsLauncher, OnXWithTheWindowOpen)
{
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    GameDir game;
    write_file(game.prefs(), MESSY);
    auto launcher = game.start({{"DISPLAY", x.display()}});
    ASSERT_FALSE(find_window(x.display(), "Karthos Preferences").empty()) << launcher->errors();
    kill(launcher->pid(), GetParam());
    EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
    EXPECT_EQ(read_file(game.prefs()), NORMALISED);
}

INSTANTIATE_TEST_SUITE_P(IntTermHup, SignalEndsLauncher, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto &test) {
                             return std::string(test.param == SIGINT    ? "SIGINT"
                                                : test.param == SIGTERM ? "SIGTERM"
                                                                        : "SIGHUP");
                         });

} // namespace
