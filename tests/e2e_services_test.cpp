// The graphics card and GameMode rows: switcheroo-control's stand-in, gamemoded, own buses.
#include "e2e_support.h"

namespace {

using namespace e2e;

// A system or session bus of the test's own, open to anyone; what it serves ends with it.
class Bus {
  public:
    // `services`: where the bus finds the services it starts on demand.
    Bus(const fs::path &dir, const std::string &type, const std::string &services = "/nonexistent")
        : var_(type == "system" ? "DBUS_SYSTEM_BUS_ADDRESS=" : "DBUS_SESSION_BUS_ADDRESS=")
    {
        write_file(dir / type, "<busconfig><type>" + type + "</type><servicedir>" + services +
                                   "</servicedir><listen>unix:tmpdir=/tmp</listen><policy "
                                   "context='default'><allow user='*'/><allow own='*'/><allow "
                                   "send_destination='*' eavesdrop='true'/><allow "
                                   "eavesdrop='true'/></policy></busconfig>");
        const std::string out = shell("", "dbus-daemon --fork --print-address=1 --print-pid=1 " +
                                              ("--config-file=" + in_quotes(dir / type)));
        address_ = out.substr(0, out.find('\n'));
        pids_.push_back(std::atoi(out.c_str() + out.find('\n') + 1));
    }
    ~Bus()
    {
        for (const pid_t pid : pids_) kill(pid, SIGTERM);
    }
    // Runs `command` beside the bus, and waits until it serves `name`.
    void serve(const std::string &command, const std::string &name)
    {
        pids_.push_back(
            std::atoi(shell("", env() + command + " >/dev/null 2>&1 & echo $!").c_str()));
        EXPECT_EQ(
            std::system(("gdbus wait --timeout 20 --address " + address_ + " " + name).c_str()), 0);
    }
    std::string env() const { return var_ + address_ + " "; }

  private:
    std::string var_, address_;
    std::vector<pid_t> pids_;
};

const std::string CONFIG = "[Config]\n\n\tVideocard = Software\n\tWindowed = 0\n\tSyncToScreen = 0"
                           "\n\tShowFPS = 0\n\n[Warp3D]\n\n\tSize = 640x480 16Bit\n";

enum GameMode { none, running, on_demand };

struct Case {
    const char *name;
    bool cards; // switcheroo-control is there
    GameMode game_mode;
    std::string keys;            // from "Save & Launch", before pressing it
    std::string stored, saved;   // the [Launcher] section's options, before and after
    std::string dri_prime;       // as the game finds it
    const char *game_mode_state; // as gamemoded tells it while the game runs
};

class ServicesE2E : public LauncherE2E, public ::testing::WithParamInterface<Case> {};

TEST_P(ServicesE2E, AddTheirRowsAndReachTheGame)
{
    const Case &c = GetParam();
    if (!installed("dbus-daemon") || !installed("gdbus") ||
        (c.cards && std::system("/usr/bin/python3 -c 'import dbusmock' 2>/dev/null") != 0) ||
        (c.game_mode && !installed("gamemoded")))
        GTEST_SKIP() << "needs dbus-daemon, python3-dbusmock and gamemode (scripts/setup.sh)";
    const auto section = [](const std::string &options) {
        return options.empty() ? "" : "\n[Launcher]\n\n\t" + options + "\n";
    };
    const auto height = [&] {
        const std::string g = shell(x.display(), "xdotool getwindowgeometry " + wait_for(TITLE));
        return std::atoi(g.c_str() + g.rfind('x') + 1);
    };
    const bool as_user = geteuid() == 0 && installed("setpriv"); // as a player, where we can
    start(CONFIG + section(c.stored), as_user);
    const int bare = height(); // without either row, to wait for them
    keys("Escape");
    expect_clean_exit();
    write_file(report / "GameMode.service",
               "[D-BUS Service]\nName=com.feralinteractive.GameMode\nExec=/usr/bin/gamemoded\n");
    Bus system(report.path(), "system"),
        session(report.path(), "session",
                c.game_mode == on_demand ? report.path() : "/nonexistent");
    if (c.cards)
        system.serve("/usr/bin/python3 -m dbusmock --system --template " KTLAUNCH_SOURCE_DIR
                     "/tests/switcheroo_template.py",
                     "net.hadess.SwitcherooControl");
    if (c.game_mode == running)
        session.serve("gamemoded", "com.feralinteractive.GameMode");
    write_file(report / "hold", "");
    start(CONFIG + section(c.stored), as_user, "env " + system.env() + session.env());
    if (c.cards || c.game_mode) { // the row has come
        ASSERT_TRUE(poll_until([&] { return height() > bare; }));
    }
    const std::string owner = "gdbus call --session --dest org.freedesktop.DBus --object-path "
                              "/org/freedesktop/DBus --method org.freedesktop.DBus.NameHasOwner "
                              "com.feralinteractive.GameMode";
    EXPECT_EQ(shell("", session.env() + owner),
              c.game_mode == running ? "(true,)\n" : "(false,)\n");
    keys(c.keys + " alt+l");
    EXPECT_EQ(launcher->wait(), 0); // the game is registered by now, and runs until let go
    if (c.game_mode) {
        EXPECT_EQ(shell("", session.env() + "gamemoded -s"), c.game_mode_state);
    }
    fs::remove(report / "hold");
    EXPECT_EQ(starts(), "started\n");
    EXPECT_EQ(prefs(), CONFIG + section(c.saved));
    EXPECT_EQ(read_file(report / "dri_prime"), c.dri_prime + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Buses, ServicesE2E,
    ::testing::Values(Case{"NoService", false, none, "", "GPU = Gone", "GPU = Gone", "unset"},
                      Case{"CardPicked", true, none, "shift+Tab Down", "GPU = Gone",
                           "GPU = Discrete", "pci-0000_01_00_0"},
                      Case{"GoneCardKept", true, none, "", "GPU = Gone", "GPU = Gone", "unset"},
                      Case{"DefaultCardPicked", true, none, "shift+Tab Up", "GPU = Discrete",
                           "GPU = Integrated", "unset"},
                      Case{"GameModeOn", false, running, "", "", "GameMode = 1", "unset",
                           "gamemode is active\n"},
                      // The row shows, and the daemon starts only for the game.
                      Case{"GameModeOnDemand", false, on_demand, "", "", "GameMode = 1", "unset",
                           "gamemode is active\n"},
                      Case{"GameModeOff", false, running, "shift+Tab space", "GameMode = 1",
                           "GameMode = 0", "unset", "gamemode is inactive\n"}),
    [](const auto &row) { return std::string(row.param.name); });

} // namespace
