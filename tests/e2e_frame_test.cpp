// The real executable: without a display, on its command line, and ended by signals.
#include "e2e_support.h"

#include <fcntl.h>

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
    auto launcher = game.start("");
    EXPECT_EQ(launcher->wait(), 0);
    EXPECT_EQ(launcher->output(), "Unable to open 'intuition.library', version 51+");
    EXPECT_EQ(launcher->errors(), "KTLaunch: no X11 or Wayland display to show the window on: "
                                  "start KTLaunch from a desktop session, or set DISPLAY (or "
                                  "WAYLAND_DISPLAY)\n");
    EXPECT_EQ(read_file(game.prefs()), MESSY);

    auto refused = game.start("DISPLAY=:96"); // no server there
    EXPECT_EQ(refused->wait(), 0);
    EXPECT_EQ(refused->output(), "Unable to open 'intuition.library', version 51+");
    EXPECT_EQ(read_file(game.prefs()), MESSY);
}

struct Invocation {
    std::string args;
    const char *game; // the stand-in KarthosDemo's script; null: none
    int status;
    std::string out, err;
    std::string limits = ""; // prlimit's options
};

// No window; --launch starts the game on the stored settings and leaves the file alone, or
// says why not: also without a handle to hand the game a stream (started with no files
// but its standard streams).
TEST(RealExecutable, AnswersItsCommandLine)
{
    for (const fs::directory_entry &entry : fs::directory_iterator("/proc/self/fd"))
        if (const int fd = std::stoi(entry.path().filename().string()); fd > 2)
            fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    const Invocation cases[] = {
        {"--version", nullptr, 0, "KTLaunch 3.2 (04.05.2017)\n", ""},
        {"--help", nullptr, 0, "Usage: KTLaunch [--launch | --help | --version]\n", ""},
        {"--launch", "#!/bin/sh\ncp Karthos.prefs found.prefs\n", 0, "", ""},
        {"--launch", nullptr, 1, "",
         "KTLaunch: Unable to launch Karthos: KarthosDemo: No such file or directory\n"},
        {"--bogus", nullptr, 2, "", "KTLaunch: unknown option '--bogus' (see KTLaunch --help)\n"},
        {"--launch now", nullptr, 2, "", "KTLaunch: unknown option 'now' (see KTLaunch --help)\n"},
        {"--launch", nullptr, 1, "",
         "KTLaunch: Unable to launch Karthos: standard output: Too many open files\n",
         "prlimit --nofile=4"},
        {"--launch", nullptr, 1, "",
         "KTLaunch: Unable to launch Karthos: standard error: Too many open files\n",
         "prlimit --nofile=5"},
        // In a sandbox without /proc it cannot find its own directory, nor takes this one.
        {"--launch", nullptr, 1, "",
         "KTLaunch: Unable to find the launcher's directory: /proc/self/exe: No such file or "
         "directory\n",
         "unshare -m sh -c 'mount -t tmpfs none /proc && exec \"$0\" \"$@\"'"}};
    for (const Invocation &c : cases) {
        SCOPED_TRACE(c.limits + c.args + (c.game ? " with a game" : ""));
        if (c.limits.starts_with("unshare") && geteuid() != 0)
            continue; // a mount of its own needs root
        GameDir game;
        write_file(game.prefs(), MESSY);
        if (c.game) {
            write_file(game.path() / "KarthosDemo", c.game);
            fs::permissions(game.path() / "KarthosDemo", fs::perms(0755));
        }
        auto launcher = game.start(c.limits, c.args);
        EXPECT_EQ(launcher->wait(), c.status);
        const std::string out = launcher->output(); // the usage's first line, for --help
        EXPECT_EQ(c.args == "--help" ? out.substr(0, c.out.size()) : out, c.out);
        EXPECT_EQ(launcher->errors(), c.err);
        if (c.game) {
            poll_until([&] { return fs::exists(game.path() / "found.prefs"); });
            EXPECT_EQ(read_file(game.path() / "found.prefs"), MESSY);
        }
        EXPECT_EQ(read_file(game.prefs()), MESSY);
    }
}

// A valid menu entry for this executable, even in a folder whose name needs quoting.
TEST(RealExecutable, InstallsAValidDesktopEntryWithItsIcon)
{
    TempDir home;
    const fs::path dir = home / "Games \"$HOME\" 100%", exe = dir / "KTLaunch";
    fs::create_directories(dir);
    fs::copy_file(KTLAUNCH_EXE, exe);
    Process run("XDG_DATA_HOME=" + in_quotes(home / "share") + " " + in_quotes(exe) +
                    " --install-desktop-entry",
                home.path(), home / "out.txt");
    EXPECT_EQ(run.wait(), 0) << run.errors();
    const fs::path entry = home / "share/applications/karthos-preferences.desktop",
                   icon = home / "share/icons/hicolor/scalable/apps/karthos-preferences.svg";
    EXPECT_EQ(run.output(), "Installed " + icon.string() + "\nInstalled " + entry.string() + "\n");
    EXPECT_NE(read_file(entry).find("\nExec=\"" + home.path().string() +
                                    "/Games \\\\\"\\\\$HOME\\\\\" 100%%/KTLaunch\"\n"),
              std::string::npos)
        << read_file(entry);
    EXPECT_EQ(shell("", "desktop-file-validate '" + entry.string() + "' && echo valid"), "valid\n");
    EXPECT_EQ(read_file(icon), read_file(KTLAUNCH_SOURCE_DIR "/data/karthos-preferences.svg"));
}

class SignalEndsLauncher : public LauncherE2E, public ::testing::WithParamInterface<int> {};

TEST_P(SignalEndsLauncher, WithTheWindowOpen)
{
    start(MESSY);
    wait_for(TITLE);
    kill(launcher->pid(), GetParam());
    expect_clean_exit();
    EXPECT_EQ(prefs(), NORMALISED);
}

INSTANTIATE_TEST_SUITE_P(IntTermHup, SignalEndsLauncher, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto &test) { return std::string(sigabbrev_np(test.param)); });

} // namespace
