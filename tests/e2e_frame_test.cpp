// The real executable: without a display, on its command line, and in the desktop's language.
#include "e2e_support.h"

#include <fcntl.h>

namespace {

using namespace e2e;

// Saved by a Windows editor: a byte order mark, then the first section.
const std::string MESSY = "\xEF\xBB\xBF[Config]\nShowFPS   =   1\njunk in a section\n"
                          "[AmigaInput]\n\tJoy1 = 0 \n[config]\nWindowed = 0\n";
const std::string NO_WINDOW = "Unable to open 'intuition.library', version 51+";

struct Invocation {
    std::string before, args; // what runs the launcher (prlimit, another program), its options
    const char *game;         // the stand-in KarthosDemo's script; null: none
    int status;
    std::string out, err;
    bool display = false; // then an error shows in a message box as well, answered
};

// Options, no display, limits that allow no window: the game started, or why not; the file kept.
TEST_F(LauncherE2E, AnswersItsCommandLine)
{
    for (const fs::directory_entry &entry : fs::directory_iterator("/proc/self/fd"))
        if (const int fd = std::stoi(entry.path().filename().string()); fd > 2)
            fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    const std::string USAGE =
        "Usage: KTLaunch [--launch | --install-desktop-entry | --help | --version]\n";
    const Invocation cases[] = {
        {"", "--version", nullptr, 0, "KTLaunch 3.2 (04.05.2017)\n", ""},
        {"", "-h", nullptr, 0, USAGE, ""},
        {"", "--version --help", nullptr, 0, USAGE, ""},
        {"", "--launch", "#!/bin/sh\ncp Karthos.prefs found.prefs\n", 0, "", ""},
        {"", "--launch", nullptr, 1, "",
         "KTLaunch: Unable to launch Karthos: KarthosDemo: No such file or directory\n"},
        {"", "--launch", nullptr, 1, "",
         "KTLaunch: Unable to launch Karthos: KarthosDemo: No such file or directory\n", true},
        {"", "--bogus", nullptr, 2, "",
         "KTLaunch: unknown option '--bogus' (see KTLaunch --help)\n"},
        {"", "--launch now", nullptr, 2, "",
         "KTLaunch: unknown option 'now' (see KTLaunch --help)\n"},
        {"", "--launch --install-desktop-entry", nullptr, 2, "",
         "KTLaunch: '--install-desktop-entry' cannot be combined with '--launch'\n"},
        {"prlimit --nofile=4", "--launch", nullptr, 1, "",
         "KTLaunch: Unable to launch Karthos: standard output: Too many open files\n"},
        // No display set, or none there.
        {"env -u DISPLAY", "", nullptr, 1, NO_WINDOW,
         "KTLaunch: no X11 or Wayland display to show the window on: start KTLaunch from a "
         "desktop session, or set DISPLAY (or WAYLAND_DISPLAY)\n"},
        {"DISPLAY=:96", "", nullptr, 1, NO_WINDOW, ""},
        // Limits the window toolkit cannot live with (a test build's leak check needs a thread).
        {"prlimit --stack=65536", "", nullptr, 1, NO_WINDOW,
         "KTLaunch: the stack limit (ulimit -s) is below 256 KiB: the window cannot be shown\n"},
        {"ASAN_OPTIONS=detect_leaks=0 setpriv --reuid=65534 --regid=65534 --clear-groups "
         "prlimit --nproc=0",
         "", nullptr, 1, NO_WINDOW,
         "KTLaunch: no threads can be started for the window (Resource temporarily unavailable): "
         "see the limits of processes (ulimit -u) and of memory (ulimit -v)\n"},
        // In a sandbox without /proc it cannot find its own directory, nor takes this one.
        {"unshare -m sh -c 'mount -t tmpfs none /proc && exec \"$0\" \"$@\"'", "--launch", nullptr,
         1, "",
         "KTLaunch: Unable to find the launcher's directory: /proc/self/exe: No such file or "
         "directory\n"}};
    for (const Invocation &c : cases) {
        SCOPED_TRACE(c.before + c.args + (c.game ? " with a game" : ""));
        if ((c.before.starts_with("unshare") || c.before.find("setpriv") != std::string::npos) &&
            geteuid() != 0)
            continue; // a mount of its own, or another user, needs root
        GameDir dir;
        write_file(dir.prefs(), MESSY);
        if (c.game) {
            write_file(dir.path() / "KarthosDemo", c.game);
            fs::permissions(dir.path() / "KarthosDemo", fs::perms(0755));
        }
        launcher = dir.start((c.display || c.args.empty() ? vars() : "") + " " + c.before, c.args);
        if (c.display)
            dismiss_error();
        EXPECT_EQ(launcher->wait(), c.status);
        const std::string out = launcher->output(); // the usage's first line, for help
        EXPECT_EQ(c.out == USAGE ? out.substr(0, c.out.size()) : out, c.out);
        EXPECT_NE(launcher->errors().find(c.err), std::string::npos) // Qt may warn too
            << launcher->errors();
        if (c.game) {
            poll_until([&] { return fs::exists(dir.path() / "found.prefs"); });
            EXPECT_EQ(read_file(dir.path() / "found.prefs"), MESSY);
        }
        EXPECT_EQ(read_file(dir.prefs()), MESSY);
    }
}

// An entry gio starts from any name an entry can carry; others, or no home: nothing written.
TEST(RealExecutable, InstallsADesktopEntryThatStartsThisLauncher)
{
    if (shell("", "command -v gio").empty())
        GTEST_SKIP() << "gio (Debian's libglib2.0-bin) is missing: scripts/setup.sh installs it";
    const std::string refused = "KTLaunch: a menu entry cannot start ";
    const struct {
        std::string name, env, err; // the game directory, what runs before the launcher
    } cases[] = {
        {"G\u00e4mes \"$HOME\" 'it's' back\\slash `x` 100%", "", ""},
        {"x\nExec=/bin/false\nX-J=", "", refused},
        {"latin1 \xe9", "", refused},
        {"Games", "env -u HOME -u XDG_DATA_HOME", "KTLaunch: no directory for the menu entry"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir home;
        const fs::path exe = home / c.name / "KTLaunch";
        fs::create_directories(exe.parent_path());
        fs::copy_file(KTLAUNCH_EXE, exe);
        // Through sh: env would take a path with a '=' for a variable.
        Process run((c.env.empty() ? "XDG_DATA_HOME=" + in_quotes(home / "share") : c.env) +
                        " sh -c 'exec \"$0\" --install-desktop-entry' " + in_quotes(exe),
                    home.path(), home / "out.txt");
        EXPECT_EQ(run.wait(), c.err.empty() ? 0 : 1);
        EXPECT_EQ(run.errors().substr(0, c.err.size()), c.err);
        if (!c.err.empty()) {
            EXPECT_FALSE(fs::exists(home / "share") || fs::exists(home / ".local"));
            continue;
        }
        const fs::path entry = home / "share/applications/karthos-preferences.desktop",
                       icon = home / "share/icons/hicolor/scalable/apps/karthos-preferences.svg";
        EXPECT_EQ(run.output(),
                  "Installed " + icon.string() + "\nInstalled " + entry.string() + "\n");
        EXPECT_EQ(read_file(icon), read_file(KTLAUNCH_SOURCE_DIR "/data/karthos-preferences.svg"));
        const std::string exec = "env \"" + home.path().string() +
                                 "/G\u00e4mes \\\\\"\\\\$HOME\\\\\" 'it's' back\\\\\\\\slash "
                                 "\\\\`x\\\\` 100%%/KTLaunch\"";
        EXPECT_EQ(read_file(entry),
                  "[Desktop Entry]\nType=Application\nName=Karthos Preferences\n"
                  "Name[de]=Karthos-Einstellungen\nName[fr]=Pr\u00e9f\u00e9rences de Karthos\n"
                  "Comment=Set up the display and the language of Karthos, and start the game\n"
                  "Comment[de]=Anzeige und Sprache von Karthos einstellen und das Spiel starten\n"
                  "Comment[fr]=R\u00e9gler l'affichage et la langue de Karthos, et lancer le jeu\n"
                  "Exec=" +
                      exec +
                      "\nIcon=karthos-preferences\nTerminal=false\nCategories=Game;\n"
                      "StartupWMClass=KTLaunch\nActions=Play;\n\n[Desktop Action Play]\n"
                      "Name=Play\nName[de]=Spielen\nName[fr]=Jouer\nExec=" +
                      exec + " --launch\n");
        // Started by gio, without a display: this launcher's own message.
        Process launch("gio launch " + in_quotes(entry), home.path(), home / "gio.txt");
        EXPECT_TRUE(poll_until([&] { return launch.output().starts_with("Unable to open"); }));
    }
}

// The desktop's settings; the window's and the error's titles, Save & Launch's key, --help.
struct Desktop {
    const char *name;
    std::string env, title, error, launch, usage;
};

class Languages : public LauncherE2E, public ::testing::WithParamInterface<Desktop> {};

// Save & Launch by its accelerator, without a game: the error translated, the file as in English.
TEST_P(Languages, TranslateTheTextsAndStoreTheSameWords)
{
    const Desktop &d = GetParam();
    for (const char *pack : {"DE", "FR"})
        fs::create_directories(game.path() / "data/missions" += pack);
    fs::remove(game.path() / "KarthosDemo");
    const std::string clean = "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG " + d.env;
    auto help = game.start(clean, "--help");
    EXPECT_EQ(help->wait(), 0);
    EXPECT_EQ(help->output().substr(0, help->output().find(' ')), d.usage);
    write_file(game.prefs(), "[Config]\nLanguage = french\nVideocard = Vexel\n");
    launcher = game.start(clean + " " + vars());
    keys(d.launch, d.title);
    keys("Return", d.error);
    EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
    EXPECT_EQ(prefs(), "[Config]\n\n\tLanguage = french\n\tVideocard = Vexel\n\tWindowed = 0\n"
                       "\tSyncToScreen = 0\n\tShowFPS = 0\n\n[Warp3D]\n\n\tSize = 640x480/16\n");
}

const std::string EN = "Karthos Preferences";
// English first, though German follows; C whatever LANGUAGE says.
INSTANTIATE_TEST_SUITE_P(
    Desktops, Languages,
    ::testing::Values(
        Desktop{"German", "LANG=de_DE", "Karthos-Einstellungen", "Fehler", "alt+s", "Aufruf:"},
        Desktop{"FrenchByLanguage", "LANG=en_GB.UTF-8 LANGUAGE=fr:de", "Pr.+f.+rences de Karthos",
                "Erreur", "alt+l", "Utilisation"},
        Desktop{"EnglishFirst", "LANG=de_DE.UTF-8 LANGUAGE=en:de", EN, "Error", "alt+l", "Usage:"},
        Desktop{"C", "LANG=de_DE.UTF-8 LC_ALL=C LANGUAGE=fr", EN, "Error", "alt+l", "Usage:"}),
    [](const auto &test) { return std::string(test.param.name); });

} // namespace
