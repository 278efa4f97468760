// What the player trusts the launcher with, tried on the real executable: files it
// may not replace, a game directory it cannot write, a game that edits its own file,
// clicks queued behind the decision to end, no standard streams, a dying display.
#include "e2e_support.h"

#include <sys/stat.h>

namespace {

using namespace e2e;

const std::string STORED = "[Config]\nShowFPS = 0\n[AmigaInput]\nJoy1 = 0\n";
const std::string AS_LOADED = "[Config]\n\n\tShowFPS = 0\n\n[AmigaInput]\n\n\tJoy1 = 0\n";

class SafetyE2E : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
        fs::permissions(report.path(), fs::perms(0777));
        // A stand-in game: what it found, its open files, and one line for each start.
        write_file(game.path() / "KarthosDemo",
                   "#!/bin/sh\n"
                   "for n in $(seq 0 64); do [ -e /proc/$$/fd/$n ] && "
                   "fds=\"$fds$n $(readlink /proc/$$/fd/$n)\n\"; done\n"
                   "printf \"$fds\" > \"$REPORT/fds\"\n"
                   "cp Karthos.prefs \"$REPORT/found.prefs\"\n"
                   "[ -z \"$APPEND\" ] || printf '\\tAddedByGame = 1\\n' >> Karthos.prefs\n"
                   "echo started >> \"$REPORT/starts\"\n");
        fs::permissions(game.path() / "KarthosDemo", fs::perms(0755));
    }

    void start(bool as_user = false, std::map<std::string, std::string> env = {},
               bool no_std_streams = false)
    {
        env["DISPLAY"] = x.display();
        env["REPORT"] = report.path().string();
        launcher = game.start(env, as_user, no_std_streams);
    }

    std::string wait_for(const std::string &title, std::chrono::milliseconds timeout = 20s)
    {
        std::string id = find_window(x.display(), title, timeout);
        EXPECT_FALSE(id.empty()) << "no window " << title << "\n" << launcher->errors();
        return id;
    }

    // One error requester, answered; the launcher goes on.
    void dismiss_error() { type_keys(x.display(), wait_for("Error"), "Return"); }

    // The lines of what the game left in the report directory, once the launcher ended.
    std::string reported(const std::string &name)
    {
        EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
        wait_for_file(report / name, 5s);
        std::this_thread::sleep_for(300ms); // a second start would show by now
        return read_file(report / name);
    }

    Xvfb x;
    GameDir game;
    TempDir report;
    std::unique_ptr<Process> launcher;
};

struct Protected {
    const char *name;
    bool as_user;
    uid_t dir_owner, file_owner;
    unsigned mode;
    std::string keys; // the way out; empty: SIGTERM
    bool error_at_start, error_at_end;
};

class ProtectedE2E : public SafetyE2E, public ::testing::WithParamInterface<Protected> {};

// A file the launcher could not read, or may not replace, stays byte for byte on every
// way out, with one message; Save & Launch still starts the game, once.
TEST_P(ProtectedE2E, FileIsUntouchedWithOneMessage)
{
    const Protected &p = GetParam();
    game.open_to_users(p.dir_owner);
    write_file(game.prefs(), STORED);
    ASSERT_EQ(chown(game.prefs().c_str(), p.file_owner, p.file_owner), 0);
    fs::permissions(game.prefs(), fs::perms(p.mode));
    start(p.as_user);
    if (p.error_at_start)
        dismiss_error();
    const std::string window = wait_for("Karthos Preferences");
    if (p.keys.empty())
        kill(launcher->pid(), SIGTERM);
    else
        type_keys(x.display(), window, p.keys);
    if (p.error_at_end)
        dismiss_error();
    if (p.keys == "alt+l") {
        EXPECT_EQ(reported("starts"), "started\n");
    }
    EXPECT_EQ(launcher->wait(), 0) << launcher->errors(); // a second message would hold it
    EXPECT_EQ(read_file(game.prefs()), STORED);
    EXPECT_EQ(fs::status(game.prefs()).permissions(), fs::perms(p.mode));
}

constexpr uid_t ROOT = 0, USER = GameDir::NOBODY;

INSTANTIATE_TEST_SUITE_P(
    WaysOut, ProtectedE2E,
    ::testing::Values(
        // Left by running the game once with sudo: the user cannot read it.
        Protected{"RootsFileQuit", true, USER, ROOT, 0600, "Escape", true, false},
        Protected{"RootsFileSaveAndQuit", true, USER, ROOT, 0600, "alt+s", true, false},
        Protected{"RootsFileSaveAndLaunch", true, USER, ROOT, 0600, "alt+l", true, false},
        Protected{"RootsFileSigterm", true, USER, ROOT, 0600, "", true, false},
        Protected{"ReadOnlyFileSaveAndQuit", false, ROOT, ROOT, 0444, "alt+s", false, true},
        Protected{"UsersReadOnlyFileSaveAndLaunch", true, USER, USER, 0444, "alt+l", false, true},
        // A system-wide install: the game directory is not the player's.
        Protected{"ReadOnlyGameDirSaveAndLaunch", true, ROOT, ROOT, 0644, "alt+l", false, true}),
    [](const auto &test) { return std::string(test.param.name); });

TEST_F(SafetyE2E, FifoNamedLikeThePrefsNeitherBlocksNorIsReplaced)
{
    ASSERT_EQ(mkfifo(game.prefs().c_str(), 0644), 0);
    start();
    wait_for("Error", 3s); // "Unable to read Karthos.prefs" at once, not a hang
    kill(launcher->pid(), SIGTERM);
    EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
    EXPECT_TRUE(fs::is_fifo(game.prefs()));
}

TEST_F(SafetyE2E, ClicksQueuedBehindSaveAndLaunchStartOneGame)
{
    write_file(game.prefs(), STORED);
    start();
    const std::string window = wait_for("Karthos Preferences");
    kill(launcher->pid(), SIGSTOP); // the three presses wait in the queue together
    type_keys(x.display(), window, "alt+l alt+l alt+l");
    kill(launcher->pid(), SIGCONT);
    EXPECT_EQ(reported("starts"), "started\n");
}

TEST_F(SafetyE2E, GameThatEditsItsFileAtStartKeepsItsEdits)
{
    write_file(game.prefs(), STORED);
    start(false, {{"APPEND", "1"}});
    type_keys(x.display(), wait_for("Karthos Preferences"), "alt+l");
    EXPECT_EQ(reported("starts"), "started\n");
    const std::string found = read_file(report / "found.prefs");
    EXPECT_NE(found.find("\tVideocard = Software\n"), std::string::npos) << found;
    EXPECT_EQ(read_file(game.prefs()), found + "\tAddedByGame = 1\n");
}

// Started without standard streams and with a descriptor of its parent's: the game
// gets /dev/null for its streams and nothing else of the launcher's.
TEST_F(SafetyE2E, WithoutStandardStreamsTheGameGetsNullAndNothingElse)
{
    int inherited[2];
    ASSERT_EQ(pipe(inherited), 0); // without close-on-exec, as a careless parent leaves it
    write_file(game.prefs(), STORED);
    start(false, {}, true);
    close(inherited[0]);
    close(inherited[1]);
    type_keys(x.display(), wait_for("Karthos Preferences"), "alt+l");
    EXPECT_EQ(reported("starts"), "started\n");
    std::istringstream fds(read_file(report / "fds"));
    std::map<int, std::string> open;
    for (int fd; fds >> fd && std::getline(fds >> std::ws, open[fd]);) {
    }
    for (int fd = 0; fd <= 2; ++fd) EXPECT_EQ(open[fd], "/dev/null") << fd;
    for (const auto &[fd, target] : open) {
        if (fd > 2) { // the shell's own copy of its script
            EXPECT_EQ(target, (game.path() / "KarthosDemo").string()) << fd;
        }
    }
}

TEST_F(SafetyE2E, DisplayThatGoesAwayEndsLikeABreak)
{
    write_file(game.prefs(), STORED);
    start();
    wait_for("Karthos Preferences");
    x.stop();
    EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
    EXPECT_EQ(read_file(game.prefs()), AS_LOADED);
}

} // namespace
