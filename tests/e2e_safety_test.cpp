// The real executable on protected, shared and 64 MiB files; without standard streams or display.
#include "e2e_support.h"

#include <cstring>
#include <map>
#include <sys/stat.h>

namespace {

using namespace e2e;

constexpr auto npos = std::string::npos;
const std::string STORED = "[Config]\nShowFPS = 0\n[AmigaInput]\nJoy1 = 0\n";

// In the launcher's layout: nothing to write, nothing said, when nothing changed.
const std::string LAID_OUT = "[Config]\n\n\tShowFPS = 0\n\n[AmigaInput]\n\n\tJoy1 = 0\n";
// Over 300 bytes in the launcher's layout; the stand-in game's report stays under.
const std::string LONG = STORED + "[Pad]\nName = " + std::string(300, 'p') + "\n";
// From "Save & Launch", where the focus starts, back to Windowed or showFPS.
const std::string TICK_WINDOWED = "shift+Tab shift+Tab space", TICK_SHOWFPS = "shift+Tab space";

struct Protected {
    const char *name;
    uid_t dir_owner, file_owner;
    unsigned mode;
    bool unreadable;               // told at start-up; otherwise when saving
    std::string way_out = "alt+l"; // keys; empty: SIGTERM
    const std::string *file = &STORED;
    const char *through = ""; // a program that runs the launcher, with its limits
    bool told = true;
};

class AsUserE2E : public LauncherE2E {
    void SetUp() override
    {
        if (geteuid() != 0 || !installed("setpriv"))
            GTEST_SKIP() << "running as another user needs root and setpriv";
        LauncherE2E::SetUp();
    }
};

class ProtectedE2E : public AsUserE2E, public ::testing::WithParamInterface<Protected> {};

// A file it could not read, may not replace or write whole stays, told once; the game starts.
TEST_P(ProtectedE2E, FileIsUntouchedWithOneMessage)
{
    const Protected &p = GetParam();
    ASSERT_EQ(chown(game.path().c_str(), p.dir_owner, p.dir_owner), 0);
    write_file(game.prefs(), *p.file);
    ASSERT_EQ(chown(game.prefs().c_str(), p.file_owner, p.file_owner), 0);
    fs::permissions(game.prefs(), fs::perms(p.mode));
    launcher = game.start(user_vars() + " " + p.through);
    if (p.unreadable)
        dismiss_error();
    if (!p.way_out.empty()) {
        keys(p.way_out);
    } else {
        wait_for(TITLE);
        kill(launcher->pid(), SIGTERM);
    }
    if (!p.unreadable && p.told)
        dismiss_error();
    if (p.way_out == "alt+l")
        EXPECT_EQ(starts(), "started\n"); // the launcher ended: a second message would hold it
    else
        EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
    EXPECT_EQ(prefs(), *p.file);
    EXPECT_EQ(fs::status(game.prefs()).permissions(), fs::perms(p.mode));
    EXPECT_EQ(std::distance(fs::directory_iterator(game.path()), {}), 3); // no temporary file
}

constexpr uid_t ROOT = 0, USER = 65534;

INSTANTIATE_TEST_SUITE_P(
    AsAUser, ProtectedE2E,
    ::testing::Values(
        // Left by running the game once with sudo: the user cannot read it.
        Protected{"RootsFile", USER, ROOT, 0600, true},
        Protected{"RootsFileSigterm", USER, ROOT, 0600, true, ""},
        Protected{"ReadOnlyFile", USER, USER, 0444, false},
        // A system-wide install: the game directory is not the player's.
        Protected{"ReadOnlyGameDirQuit", ROOT, ROOT, 0644, false, "Escape", &LAID_OUT, "", false},
        Protected{"ReadOnlyGameDirChangeSaved", ROOT, ROOT, 0644, false, TICK_WINDOWED + " alt+s",
                  &LAID_OUT},
        // A file-size limit fails the write as a full disk would.
        Protected{"SizeLimitSaveAndQuit", USER, USER, 0644, false, TICK_WINDOWED + " alt+s", &LONG,
                  "prlimit --fsize=300"},
        Protected{"SizeLimitSigterm", USER, USER, 0644, false, "", &LONG, "prlimit --fsize=300"},
        Protected{"SizeLimitSaveAndLaunch", USER, USER, 0644, false, "alt+l", &LONG,
                  "prlimit --fsize=300"}),
    [](const auto &test) { return std::string(test.param.name); });

// The window's settings in the launcher's layout, Windowed and showFPS as given.
std::string layout(int windowed, int show_fps)
{
    return "[Config]\n\n\tVideocard = Vexel\n\tWindowed = " + std::to_string(windowed) +
           "\n\tShowFPS = " + std::to_string(show_fps) +
           "\n\tSyncToScreen = 0\n\n[Warp3D]\n\n\tSize = 800x600/32:59.94\n";
}

TEST_F(AsUserE2E, TwoLaunchersSavingDifferentSettingsKeepBoth)
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
TEST_F(AsUserE2E, AFileAtTheReadLimitIsReadAndNeverWrittenLonger)
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

// A FIFO named like the file: told at once, not waited on; a break ends; the FIFO stays.
TEST_F(LauncherE2E, FifoNamedLikeThePrefsNeitherBlocksNorIsReplaced)
{
    ASSERT_EQ(mkfifo(game.prefs().c_str(), 0644), 0);
    launcher = game.start(vars());
    wait_for("Error");
    kill(launcher->pid(), SIGTERM);
    EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
    EXPECT_TRUE(fs::is_fifo(game.prefs()));
}

TEST_F(LauncherE2E, WithoutStandardStreamsTheGameGetsNullAndNothingElse)
{
    int inherited[2];
    ASSERT_EQ(pipe(inherited), 0); // without close-on-exec, as a careless parent leaves it
    write_file(game.prefs(), STORED);
    launcher = game.start(vars(), "<&- >&- 2>&-");
    close(inherited[0]);
    close(inherited[1]);
    keys("alt+l");
    EXPECT_EQ(starts(), "started\n");
    std::istringstream fds(read_file(report / "fds"));
    std::map<int, std::string> open;
    for (std::string line; std::getline(fds, line);)
        open[std::stoi(line)] = line.substr(line.find(' ') + 1);
    for (const auto &[fd, target] : open) // beyond 2, the shell's own copy of its script
        EXPECT_EQ(target, fd <= 2 ? "/dev/null" : (game.path() / "KarthosDemo").string()) << fd;
    EXPECT_EQ(open.count(0) + open.count(1) + open.count(2), 3u);
}

// The X server or a Wayland compositor (weston's headless one) going away: saved as on a break.
TEST_F(LauncherE2E, DisplayThatGoesAwayEndsLikeABreak)
{
    TempDir runtime; // mode 0700, as Wayland asks
    const std::string in_runtime = "XDG_RUNTIME_DIR=" + in_quotes(runtime.path());
    Process weston(in_runtime + " weston -Bheadless-backend.so --socket=kt --no-config",
                   runtime.path(), runtime / "weston.txt");
    for (const bool wayland : {false, true}) {
        write_file(game.prefs(), STORED);
        if (wayland) {
            if (!poll_until([&] { return fs::exists(runtime / "kt"); }))
                GTEST_SKIP() << "no weston (scripts/setup.sh installs it)";
            // Its requests on standard error: the first picture attached shows the window.
            launcher = game.start(in_runtime + " WAYLAND_DISPLAY=kt WAYLAND_DEBUG=client");
            ASSERT_TRUE(poll_until([&] { return launcher->errors().find(".attach(") != npos; }));
            kill(weston.pid(), SIGTERM);
        } else {
            start(STORED);
            wait_for(TITLE);
            x.stop();
        }
        EXPECT_EQ(launcher->wait(), 0) << wayland;
        EXPECT_EQ(prefs(), "[Config]\n\n\tShowFPS = 0\n\n[AmigaInput]\n\n\tJoy1 = 0\n");
    }
}

} // namespace
