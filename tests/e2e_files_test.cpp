// The real executable as an ordinary user, under limits and beside other writers of its
// file: nobody's settings are lost, and every failure is told, once.
#include "e2e_support.h"

#include <fcntl.h>
#include <set>

namespace {

using namespace e2e;

// As an editor left it (over 100 bytes): the launcher's layout is longer.
const std::string STORED =
    "[Config]\nVideocard = Vexel\nSyncToScreen = 1\nWindowed = 0\n"
    "ShowFPS = 0\n[Warp3D]\nSize = 800x600/32:59.94\n[AmigaInput]\nJoy1 = 0\n";
// STORED in the launcher's layout, with "Windowed" and "showFPS" as given, then `more`
// in the first section and `sections` after the last.
std::string layout(int windowed, int show_fps, const std::string &more = "",
                   const std::string &sections = "")
{
    return "[Config]\n\n\tVideocard = Vexel\n\tSyncToScreen = 1\n\tWindowed = " +
           std::to_string(windowed) + "\n\tShowFPS = " + std::to_string(show_fps) + "\n" + more +
           "\n[Warp3D]\n\n\tSize = 800x600/32:59.94\n\n[AmigaInput]\n\n\tJoy1 = 0\n" + sections;
}

// From the screen-mode button, Tab past the render mode and vSync: tick Windowed.
const std::string TICK_WINDOWED = "Tab Tab Tab space";
const std::string TICK_SHOWFPS = "Tab Tab Tab Tab space";
// From Windowed: past showFPS, Save & Launch and Save & Quit.
const std::string PRESS_QUIT = "Tab Tab Tab Tab space";

class FilesE2E : public LauncherE2E {
  protected:
    // The launcher as the user, on `prefs`, `through` a program (prlimit ...).
    std::unique_ptr<Process> start_as_user(const std::string &prefs,
                                           const std::string &through = "",
                                           const std::string &args = "")
    {
        write_file(game.prefs(), prefs);
        give_game_dir_to_user();
        return game.start(user_vars() + " " + through, args);
    }

    // The visible windows titled `title`, of the process `pid` (0: any).
    std::set<std::string> windows(const std::string &title, pid_t pid = 0) const
    {
        std::istringstream ids(shell(x.display(), "xdotool search --all --onlyvisible" +
                                                      (pid ? " --pid " + std::to_string(pid) : "") +
                                                      " --name '^" + title + "$'"));
        std::set<std::string> found;
        for (std::string id; ids >> id;) found.insert(id);
        return found;
    }
    void keys_to(const std::string &window, const std::string &names) const
    {
        shell(x.display(), "xdotool windowfocus --sync " + window);
        shell(x.display(), "xdotool key --delay 40 " + names);
    }

    // The error requesters answered until the launcher ended (with status 0).
    int errors_until_end()
    {
        int errors = 0;
        const auto deadline = std::chrono::steady_clock::now() + 40s;
        while (!launcher->wait(100ms) && std::chrono::steady_clock::now() < deadline) {
            for (const std::string &box : windows("Error")) {
                keys_to(box, "Return");
                ++errors;
                poll_until([&] { return !windows("Error").contains(box); }, 5s);
            }
        }
        EXPECT_EQ(launcher->wait(0ms), 0) << launcher->errors();
        return errors;
    }

    // The names in the game directory.
    std::string names() const
    {
        std::set<std::string> sorted;
        for (const fs::directory_entry &entry : fs::directory_iterator(game.path()))
            sorted.insert(entry.path().filename().string());
        std::string all;
        for (const std::string &name : sorted) all += (all.empty() ? "" : " ") + name;
        return all;
    }

    // The game's starts, a moment after the launcher ended: "started\n" each; waited
    // for while one is `expected`.
    std::string game_starts(bool expected = true)
    {
        if (!poll_until([&] { return fs::exists(report / "starts"); }, expected ? 3s : 300ms))
            return "";
        std::this_thread::sleep_for(300ms); // a second start would show by now
        return read_file(report / "starts");
    }
};

// --- A file-size limit -----------------------------------------------------------

struct WayOut {
    const char *name;
    std::string keys; // after ticking Windowed; empty: SIGTERM, without a change
    bool launches;
};

class FileSizeLimit : public FilesE2E, public ::testing::WithParamInterface<WayOut> {};

// The save fails as on a full disk: told once, the old file byte for byte, no temporary
// file; Save & Launch still starts the game.
TEST_P(FileSizeLimit, IsToldOnceAndKeepsTheOldFile)
{
    write_file(game.path() / "KarthosDemo", "#!/bin/sh\necho started >> \"$REPORT/starts\"\n");
    launcher = start_as_user(STORED, "prlimit --fsize=100");
    if (GetParam().keys.empty()) {
        wait_for(TITLE);
        kill(launcher->pid(), SIGTERM);
    } else {
        keys(TICK_WINDOWED + " " + GetParam().keys);
    }
    EXPECT_EQ(errors_until_end(), 1);
    EXPECT_EQ(prefs(), STORED);
    EXPECT_EQ(names(), "KTLaunch Karthos.prefs KarthosDemo");
    EXPECT_EQ(game_starts(GetParam().launches), GetParam().launches ? "started\n" : "");
}

INSTANTIATE_TEST_SUITE_P(AsAUser, FileSizeLimit,
                         ::testing::Values(WayOut{"SaveAndQuit", "alt+s", false},
                                           WayOut{"Sigterm", "", false},
                                           WayOut{"SaveAndLaunch", "alt+l", true}),
                         [](const auto &test) { return std::string(test.param.name); });

// --- Other writers ---------------------------------------------------------------

// Another program's file: showFPS and the language changed, and a section added.
const std::string OTHERS = "[Config]\nVideocard = Vexel\nSyncToScreen = 1\nWindowed = 0\n"
                           "ShowFPS = 1\nLanguage = german\n[Warp3D]\nSize = 800x600/32:59.94\n"
                           "[AmigaInput]\nJoy1 = 0\n[Editor]\nBy = another program\n";
// OTHERS in the launcher's layout, with the player's Windowed on top.
const std::string MERGED =
    layout(1, 1, "\tLanguage = german\n", "\n[Editor]\n\n\tBy = another program\n");

class OtherWriter : public FilesE2E, public ::testing::WithParamInterface<WayOut> {};

// The player ticks Windowed while another program rewrites the file: Quit leaves that
// program's file as it is; a save adds Windowed to it, and nothing else.
TEST_P(OtherWriter, KeepsItsEditsAndGetsOnlyThePlayersChanges)
{
    launcher = start_as_user(layout(0, 0));
    keys(TICK_WINDOWED);
    write_file(game.prefs(), OTHERS); // in place: the same file, another size and time
    keys(GetParam().keys);
    EXPECT_EQ(errors_until_end(), 0);
    EXPECT_EQ(prefs(), GetParam().launches || GetParam().keys == "alt+s" ? MERGED : OTHERS);
    EXPECT_EQ(game_starts(GetParam().launches), GetParam().launches ? "started\n" : "");
    if (GetParam().launches) {
        EXPECT_EQ(read_file(report / "found.prefs"), MERGED);
    }
}

INSTANTIATE_TEST_SUITE_P(EachButton, OtherWriter,
                         ::testing::Values(WayOut{"Quit", PRESS_QUIT, false},
                                           WayOut{"SaveAndQuit", "alt+s", false},
                                           WayOut{"SaveAndLaunch", "alt+l", true}),
                         [](const auto &test) { return std::string(test.param.name); });

// Two launchers open at once: the first ticks Windowed and saves, the second ticks
// showFPS and saves; the file has both.
TEST_F(FilesE2E, TwoLaunchersSavingDifferentSettingsKeepBoth)
{
    std::unique_ptr<Process> first = start_as_user(layout(0, 0));
    poll_until([&] { return windows(TITLE, first->pid()).size() == 1; });
    std::unique_ptr<Process> second = game.start(user_vars());
    poll_until([&] { return windows(TITLE, second->pid()).size() == 1; });
    ASSERT_EQ(windows(TITLE).size(), 2u);
    keys_to(*windows(TITLE, first->pid()).begin(), TICK_WINDOWED + " alt+s");
    EXPECT_EQ(first->wait(), 0);
    EXPECT_EQ(prefs(), layout(1, 0));
    keys_to(*windows(TITLE, second->pid()).begin(), TICK_SHOWFPS + " alt+s");
    EXPECT_EQ(second->wait(), 0);
    EXPECT_EQ(prefs(), layout(1, 1));
}

// --- Few file handles --------------------------------------------------------------

// Lowered one at a time from above what the launcher holds, the descriptor limit comes
// to where Save & Launch has no handle left to hand the game its streams: the settings
// are saved, the player is told once, and no game starts.
TEST_F(FilesE2E, TheDescriptorLimitWithoutRoomForTheGamesStreamsIsTold)
{
    launcher = start_as_user(layout(0, 0));
    wait_for(TITLE);
    std::this_thread::sleep_for(500ms);
    const auto held = std::distance(
        fs::directory_iterator("/proc/" + std::to_string(launcher->pid()) + "/fd"), {});
    kill(launcher->pid(), SIGTERM);
    ASSERT_EQ(launcher->wait(), 0);
    long told_at = 0;
    for (long limit = held + 4; limit > 3 && !told_at; --limit) {
        SCOPED_TRACE("at " + std::to_string(limit) + " descriptors; " + std::to_string(held) +
                     " held");
        fs::remove(report / "starts");
        launcher = start_as_user(layout(0, 0), "prlimit --nofile=" + std::to_string(limit));
        keys(TICK_WINDOWED + " alt+l");
        const int errors = errors_until_end();
        EXPECT_EQ(prefs(), layout(1, 0));
        if (game_starts() == "started\n") {
            EXPECT_EQ(errors, 0);
            continue;
        }
        told_at = limit;
        EXPECT_EQ(errors, 1); // "Unable to launch Karthos", and why
    }
    EXPECT_GT(told_at, 3);
    EXPECT_LT(told_at, held + 4); // the game started above it
}

struct Limit {
    int files;
    std::string stream;
};

class LaunchWithoutWindow : public FilesE2E, public ::testing::WithParamInterface<Limit> {};

// Started with its three standard streams only (nothing of the test's, nor of its runner's).
TEST_P(LaunchWithoutWindow, SaysWhyAStreamCannotBeHandedOn)
{
    for (const fs::directory_entry &entry : fs::directory_iterator("/proc/self/fd"))
        if (const int fd = std::stoi(entry.path().filename().string()); fd > 2)
            fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    launcher =
        start_as_user(STORED, "prlimit --nofile=" + std::to_string(GetParam().files), "--launch");
    EXPECT_EQ(launcher->wait(), 1);
    EXPECT_EQ(launcher->errors(), "KTLaunch: Unable to launch Karthos: " + GetParam().stream +
                                      ": Too many open files\n");
    EXPECT_EQ(game_starts(false), "");
}

INSTANTIATE_TEST_SUITE_P(FourAndFive, LaunchWithoutWindow,
                         ::testing::Values(Limit{4, "standard output"}, Limit{5, "standard error"}),
                         [](const auto &test) { return std::to_string(test.param.files); });

// --- The read limit ----------------------------------------------------------------

struct AtTheLimit {
    const char *name;
    std::string head; // then a value of 'x' up to 64 MiB in all
    int errors;       // at each way out
};

class SixtyFourMiB : public FilesE2E, public ::testing::WithParamInterface<AtTheLimit> {};

// A file of exactly the read limit is read on every run; written back longer, it would
// not be: then the save is refused with the message, and the file stays.
TEST_P(SixtyFourMiB, SurvivesThreeRuns)
{
    const std::string head = GetParam().head;
    const std::string file =
        head + std::string(platform::MAX_READ_SIZE - head.size() - 1, 'x') + "\n";
    write_file(game.prefs(), file);
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        give_game_dir_to_user();
        launcher = game.start(user_vars());
        keys("Escape");
        EXPECT_EQ(errors_until_end(), GetParam().errors);
        EXPECT_TRUE(prefs() == file) << fs::file_size(game.prefs()) << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SixtyFourMiB,
    ::testing::Values(
        AtTheLimit{"InTheLaunchersLayout", "[Config]\n\n\tShowFPS = 0\n\n[Big]\n\n\tBlob = ", 0},
        AtTheLimit{"LongerInTheLaunchersLayout", "[Config]\nShowFPS = 0\n[Big]\nBlob = ", 1}),
    [](const auto &test) { return std::string(test.param.name); });

// --- A game directory that is not the player's -------------------------------------

struct ReadOnly {
    const char *name;
    std::string keys;
    int errors;
};

class ReadOnlyGameDir : public FilesE2E, public ::testing::WithParamInterface<ReadOnly> {};

// Leaving the file as it is needs no write, and no message; a change that cannot be
// saved is told once. The file stays.
TEST_P(ReadOnlyGameDir, IsToldOnlyOfAChangeThatCannotBeSaved)
{
    write_file(game.prefs(), layout(0, 0));
    launcher = game.start(user_vars());
    keys(GetParam().keys);
    EXPECT_EQ(errors_until_end(), GetParam().errors);
    EXPECT_EQ(prefs(), layout(0, 0));
    EXPECT_EQ(names(), "KTLaunch Karthos.prefs KarthosDemo");
}

INSTANTIATE_TEST_SUITE_P(AsAUser, ReadOnlyGameDir,
                         ::testing::Values(ReadOnly{"Escape", "Escape", 0},
                                           ReadOnly{"SaveAndQuitAChange", TICK_WINDOWED + " alt+s",
                                                    1}),
                         [](const auto &test) { return std::string(test.param.name); });

// --- The launcher's own directory, not to be found ---------------------------------

// Over 4,096 bytes deep, the system cannot name the launcher's path: the launcher says
// so and touches no file, not even those of the current directory.
TEST_F(FilesE2E, ALauncherThatCannotFindItsDirectoryTouchesNoFile)
{
    TempDir top;
    fs::permissions(top.path(), fs::perms(0755));
    const std::string down = [] {
        std::string cds = "cd d";
        for (int level = 0; level < 20; ++level) cds += " && cd " + std::string(250, 'd');
        return cds;
    }();
    // Made level by level, each below the one before: only bash's cd goes that deep.
    std::string script = "cd " + in_quotes(top.path()) + " && mkdir d && cd d";
    for (int level = 0; level < 20; ++level)
        script += " && mkdir " + std::string(250, 'd') + " && cd " + std::string(250, 'd');
    script += " && cp " KTLAUNCH_EXE " . && mkdir here && printf '[Config]\\nShowFPS = 1\\n' > "
              "here/Karthos.prefs && printf '#!/bin/sh\\necho started >> \"$REPORT/starts\"\\n' > "
              "here/KarthosDemo && chmod 755 here/KarthosDemo && chown -R 65534:65534 here && "
              "echo made\n";
    write_file(top / "make.sh", script);
    ASSERT_EQ(shell("", "bash " + in_quotes(top / "make.sh")), "made\n");
    const std::string listing = "bash -c 'cd " + top.path().string() + " && " + down +
                                " && ls -l --time-style=full-iso here && cat here/Karthos.prefs'";
    const std::string before = shell("", listing);
    EXPECT_NE(before.find("ShowFPS = 1"), std::string::npos) << before;
    for (const char *args : {"--launch", ""}) {
        SCOPED_TRACE(args);
        launcher = std::make_unique<Process>(user_vars() + " bash -c '" + down +
                                                 " && cd here && ../KTLaunch " + args + "'",
                                             top.path(), report / "out.txt");
        if (*args) {
            EXPECT_EQ(launcher->wait(), 1);
            EXPECT_EQ(launcher->errors(), "KTLaunch: Unable to find the launcher's directory: "
                                          "/proc/self/exe: File name too long\n");
        } else {
            EXPECT_EQ(errors_until_end(), 1);
        }
        EXPECT_EQ(shell("", listing), before);
        EXPECT_EQ(game_starts(false), "");
    }
    shell("", "rm -rf " + in_quotes(top / "d"));
}

} // namespace
