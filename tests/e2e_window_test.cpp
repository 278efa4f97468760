// The real executable on a virtual X server, driven by the keyboard as a user would,
// with the whole preferences file compared byte for byte after every way out.
#include "e2e_support.h"

namespace {

using namespace e2e;

// Stored with odd spacing and a section the window does not show; Vexel mode, vSync on.
const std::string STORED = "[Config]\n"
                           "Videocard   =   Vexel\n"
                           "SyncToScreen = 1\n"
                           "Windowed = 0\n"
                           "ShowFPS = 0\n"
                           "[Warp3D]\n"
                           "Size = 800x600/32:59.94\n"
                           "[AmigaInput]\n"
                           "Joy1 = 0\n";

// STORED in the writer's layout, values as loaded.
const std::string AS_LOADED = "[Config]\n\n"
                              "\tVideocard = Vexel\n"
                              "\tSyncToScreen = 1\n"
                              "\tWindowed = 0\n"
                              "\tShowFPS = 0\n\n"
                              "[Warp3D]\n\n"
                              "\tSize = 800x600/32:59.94\n\n"
                              "[AmigaInput]\n\n"
                              "\tJoy1 = 0\n";

// AS_LOADED after the user ticked "showFPS".
const std::string WITH_SHOWFPS = "[Config]\n\n"
                                 "\tVideocard = Vexel\n"
                                 "\tSyncToScreen = 1\n"
                                 "\tWindowed = 0\n"
                                 "\tShowFPS = 1\n\n"
                                 "[Warp3D]\n\n"
                                 "\tSize = 800x600/32:59.94\n\n"
                                 "[AmigaInput]\n\n"
                                 "\tJoy1 = 0\n";

// From the first gadget in Vexel mode (the screen-mode button): Tab past the render
// mode, vSync and Windowed to showFPS, and tick it.
const std::string TICK_SHOWFPS = "Tab Tab Tab Tab space";

class WindowE2E : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(x.display().empty()) << "Xvfb did not start"; }

    // Starts the launcher and waits for its window.
    void start(const std::optional<std::string> &prefs)
    {
        if (prefs)
            write_file(game.prefs(), *prefs);
        launcher = game.start({{"DISPLAY", x.display()}});
        window = find_window(x.display(), "Karthos Preferences");
        ASSERT_FALSE(window.empty()) << launcher->errors();
    }

    void keys(const std::string &names) { type_keys(x.display(), window, names); }

    void expect_clean_exit()
    {
        EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
        EXPECT_EQ(launcher->output(), "");
    }

    std::string prefs() const { return read_file(game.prefs()); }

    // A stand-in game that records how it was started and the file it found.
    void install_recording_game()
    {
        write_file(
            game.path() / "KarthosDemo",
            "#!/bin/sh\n"
            "cp Karthos.prefs found.prefs\n"
            "{ echo \"cwd $(pwd)\"; echo \"pid $$\"; echo \"sid $(cut -d' ' -f6 /proc/$$/stat)\";\n"
            "  echo \"launcher-session $(cut -d' ' -f6 /proc/$PPID/stat 2>/dev/null)\"; } > "
            "started.tmp\n"
            "mv started.tmp started\n");
        fs::permissions(game.path() / "KarthosDemo", fs::perms(0755));
    }

    std::map<std::string, std::string> game_report()
    {
        std::map<std::string, std::string> lines;
        if (!wait_for_file(game.path() / "started"))
            return lines;
        std::istringstream in(read_file(game.path() / "started"));
        for (std::string key, value; in >> key && std::getline(in >> std::ws, value);)
            lines[key] = value;
        return lines;
    }

    Xvfb x;
    GameDir game;
    std::unique_ptr<Process> launcher;
    std::string window;
};

struct WayOut {
    const char *name;
    std::string keys; // after ticking "showFPS"; empty: the window's close button
    const std::string &file;
};

class WaysOut : public WindowE2E, public ::testing::WithParamInterface<WayOut> {};

// Every way out rewrites the file: with the window's values after "Save & Quit",
// with the values as loaded otherwise.
TEST_P(WaysOut, RewriteTheFile)
{
    start(STORED);
    keys(TICK_SHOWFPS);
    if (GetParam().keys.empty())
        close_window(x.display(), window);
    else
        keys(GetParam().keys);
    expect_clean_exit();
    EXPECT_EQ(prefs(), GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(Keyboard, WaysOut,
                         ::testing::Values(WayOut{"Quit", "Tab Tab Tab space", AS_LOADED},
                                           WayOut{"CloseButton", "", AS_LOADED},
                                           WayOut{"Escape", "Escape", AS_LOADED},
                                           WayOut{"SaveAndQuit", "alt+s", WITH_SHOWFPS}),
                         [](const auto &test) { return std::string(test.param.name); });

TEST_F(WindowE2E, SaveAndQuitOnAMissingFileWritesTheDefaults)
{
    start(std::nullopt);
    keys("alt+s");
    expect_clean_exit();
    EXPECT_EQ(prefs(), "[Config]\n\n\tVideocard = Software\n\tWindowed = 0\n\tSyncToScreen = 0\n"
                       "\tShowFPS = 0\n\n[Warp3D]\n\n\tSize = 640x480 16Bit\n");
}

TEST_F(WindowE2E, SaveAndLaunchStartsTheGameOnTheNewSettings)
{
    install_recording_game();
    start(STORED);
    keys(TICK_SHOWFPS + " alt+l");
    expect_clean_exit();
    const auto report = game_report();
    ASSERT_FALSE(report.empty()) << "the game did not start";
    EXPECT_EQ(report.at("cwd"), game.path().string());
    EXPECT_EQ(report.at("sid"), report.at("pid")); // a session of its own
    EXPECT_EQ(read_file(game.path() / "found.prefs"), WITH_SHOWFPS);
    EXPECT_EQ(prefs(), WITH_SHOWFPS);
}

TEST_F(WindowE2E, MissingGameIsReportedAndTheSettingsStillSaved)
{
    start(STORED);
    keys(TICK_SHOWFPS + " alt+l");
    const std::string error = find_window(x.display(), "Error");
    ASSERT_FALSE(error.empty()) << "no error requester";
    EXPECT_FALSE(launcher->wait(500ms)) << "ended before the requester was dismissed";
    type_keys(x.display(), error, "Return");
    expect_clean_exit();
    EXPECT_EQ(prefs(), WITH_SHOWFPS);
}

TEST_F(WindowE2E, GameThatIsNotAProgramIsReported)
{
    write_file(game.path() / "KarthosDemo", "not a program\n");
    fs::permissions(game.path() / "KarthosDemo", fs::perms(0755));
    start(STORED);
    keys("alt+l");
    const std::string error = find_window(x.display(), "Error");
    ASSERT_FALSE(error.empty()) << "no error requester";
    type_keys(x.display(), error, "Return");
    expect_clean_exit();
    EXPECT_EQ(prefs(), AS_LOADED);
}

} // namespace
