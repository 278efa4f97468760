// The real KTLaunch executable in a game directory of its own, on an X server of its own.
#pragma once

#include "test_support.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace e2e {

using namespace std::chrono_literals;

// Whether `done` holds, asked every 20 ms until `timeout`.
template <class Done> bool poll_until(Done done, std::chrono::milliseconds timeout = 20s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    return done();
}

// The output of a shell command line run with DISPLAY set to `display`.
inline std::string shell(const std::string &display, const std::string &command)
{
    std::string out;
    if (FILE *p = popen(("DISPLAY=" + display + " " + command + " 2>/dev/null").c_str(), "r")) {
        for (char buf[256]; fgets(buf, sizeof buf, p);) out += buf;
        pclose(p);
    }
    return out;
}

inline std::string in_quotes(const fs::path &path)
{
    return "'" + std::regex_replace(path.string(), std::regex("'"), "'\\''") + "'";
}

// The shell's `command` in `cwd`, without a display, its output in `out` and errors in `out`.err.
class Process {
  public:
    Process(const std::string &command, const fs::path &cwd, const fs::path &out) : out_(out)
    {
        const std::string line = "cd " + in_quotes(cwd) + " && exec </dev/null >" + in_quotes(out) +
                                 " 2>" + in_quotes(out.string() + ".err") +
                                 " env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + command;
        const char *argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
        if (posix_spawn(&pid_, argv[0], nullptr, nullptr, const_cast<char **>(argv), environ) != 0)
            status_ = 127 << 8;
    }
    ~Process()
    {
        if (!status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }

    // The exit code; nullopt when it did not end in time or died of a signal.
    std::optional<int> wait(std::chrono::milliseconds timeout = 20s)
    {
        poll_until(
            [&] {
                int status = 0;
                if (!status_ && waitpid(pid_, &status, WNOHANG) == pid_)
                    status_ = status;
                return status_.has_value();
            },
            timeout);
        return status_ && WIFEXITED(*status_) ? std::optional(WEXITSTATUS(*status_)) : std::nullopt;
    }

    std::string output() const { return read_file(out_); }
    std::string errors() const { return read_file(out_.string() + ".err"); }

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    fs::path out_;
};

// An X server on a free display: Xvfb, or X.Org with the dummy driver for real RandR modes
// (tests/xorg-dummy.conf; needs root).
class XServer {
  public:
    enum Kind { xvfb, xorg_dummy };

    // Waits until it accepts connections: it writes its number and a newline to a pipe.
    explicit XServer(Kind kind)
    {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0)
            throw std::system_error(errno, std::generic_category(), "pipe2");
        const std::string fd = std::to_string(ready[1]), log = (dir_ / "Xorg.log").string(),
                          out = (dir_ / "server.out").string();
        std::vector<const char *> argv = {"Xvfb", "-screen", "0", "1280x800x24"};
        if (kind == xorg_dummy)
            argv = {"Xorg", "-config", CONF, "-logfile", log.c_str(), "-sharevts", "-novtswitch"};
        argv.insert(argv.end(),
                    {"-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", nullptr});
        if ((pid_ = fork()) == 0) { // nothing but system calls until exec
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            fcntl(ready[1], F_SETFD, 0); // kept open across exec
            execvp(argv[0], const_cast<char *const *>(argv.data()));
            _exit(127);
        }
        close(ready[1]);
        // An interrupted poll means a signal: SIGCHLD, as the server has ended.
        std::string said;
        pollfd p{ready[0], POLLIN, 0};
        for (char c = 0; c != '\n' && poll(&p, 1, 30000) > 0 && read(ready[0], &c, 1) == 1;)
            said += c;
        close(ready[0]);
        if (said.size() > 1 && said.back() == '\n') {
            display_ = ":" + said.substr(0, said.size() - 1);
            return;
        }
        stop();
        error_ = std::string(argv[0]) + " did not come up:\n" + read_file(out);
    }
    ~XServer() { stop(); }

    bool running() const { return !display_.empty(); }
    const std::string &display() const { return display_; } // ":N", for DISPLAY
    const std::string &error() const { return error_; }     // why it is not running

    void stop() // SIGTERM, and SIGKILL after ten seconds
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        for (int waits = 0; waitpid(pid_, nullptr, WNOHANG) == 0; usleep(20000))
            if (++waits == 500)
                kill(pid_, SIGKILL);
        pid_ = -1;
        display_.clear();
    }

  private:
    static constexpr const char *CONF = KTLAUNCH_SOURCE_DIR "/tests/xorg-dummy.conf";
    TempDir dir_;
    pid_t pid_ = -1;
    std::string display_, error_;
};

inline bool installed(const std::string &program)
{
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A game directory with its own copy of the launcher, open to other users.
class GameDir {
  public:
    GameDir()
    {
        fs::copy_file(KTLAUNCH_EXE, dir_ / "KTLaunch");
        for (const fs::path &p : {dir_.path(), cwd_.path()}) fs::permissions(p, fs::perms(0755));
    }

    fs::path path() const { return dir_.path(); }
    fs::path prefs() const { return dir_ / "Karthos.prefs"; }

    // Starts the launcher from another directory, after `before` (NAME=value words, a program).
    std::unique_ptr<Process> start(const std::string &before, const std::string &args = "") const
    {
        return std::make_unique<Process>(before + " " + in_quotes(dir_ / "KTLaunch") + " " + args,
                                         cwd_.path(), cwd_ / "stdout.txt");
    }

  private:
    TempDir dir_;
    TempDir cwd_;
};

// A game directory on an X server of its own; the game reports in $REPORT what it found.
class LauncherE2E : public ::testing::Test {
  protected:
    explicit LauncherE2E(XServer::Kind kind = XServer::xvfb) : kind_(kind), x(kind) {}

    void SetUp() override
    {
        if (kind_ == XServer::xorg_dummy && (geteuid() != 0 || !installed("Xorg")))
            GTEST_SKIP() << "X.Org with the dummy driver needs root and Xorg";
        if (!installed("Xvfb") || !installed("xdotool"))
            GTEST_SKIP() << "needs Xvfb and xdotool (scripts/setup.sh installs them)";
        ASSERT_TRUE(x.running()) << x.error();
        fs::permissions(report.path(), fs::perms(0777));
        fs::copy_file(KTLAUNCH_SOURCE_DIR "/tests/lsan.supp", report / "lsan.supp");
        write_file(game.path() / "KarthosDemo",
                   "#!/bin/sh\n"
                   "for n in $(seq 0 64); do [ -e /proc/$$/fd/$n ] && "
                   "fds=\"$fds$n $(readlink /proc/$$/fd/$n)\n\"; done\n"
                   "printf \"$fds\" > \"$REPORT/fds\"\n"
                   "cp Karthos.prefs \"$REPORT/found.prefs\"\n"
                   "echo started >> \"$REPORT/starts\"\n"
                   "echo \"${DRI_PRIME-unset}\" > \"$REPORT/dri_prime\"\n"
                   "while [ -e \"$REPORT/hold\" ]; do sleep 0.1; done\n"); // until the test lets go
        fs::permissions(game.path() / "KarthosDemo", fs::perms(0755));
    }

    std::string vars() const
    {
        // No bus of the host's: its services would add rows to the window.
        return "DISPLAY=" + x.display() + " REPORT=" + in_quotes(report.path()) +
               " DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent"
               " DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent";
    }
    // vars(), and setpriv to run as nobody, with leak suppressions that user can read.
    std::string user_vars() const
    {
        return vars() + " LSAN_OPTIONS=suppressions=" + in_quotes(report / "lsan.supp") +
               ":print_suppressions=0 setpriv --reuid=65534 --regid=65534 --clear-groups";
    }
    // Starts the launcher on `prefs`; as the user, in a directory of theirs, with `limits`.
    void start(const std::string &prefs, bool as_user = false, const std::string &limits = "")
    {
        write_file(game.prefs(), prefs);
        for (const fs::directory_entry &entry : fs::directory_iterator(game.path()))
            EXPECT_TRUE(!as_user || lchown(entry.path().c_str(), USER, USER) == 0);
        EXPECT_TRUE(!as_user || chown(game.path().c_str(), USER, USER) == 0);
        launcher = game.start((as_user ? user_vars() : vars()) + " " + limits);
    }

    // The first visible window titled `title` (of `pid`, if given), waited for.
    std::string wait_for(const std::string &title, pid_t pid = 0)
    {
        std::string id, of = pid ? " --pid " + std::to_string(pid) : "";
        const auto search = "xdotool search --all --onlyvisible" + of + " --name '^" + title + "$'";
        poll_until([&] { return !(id = shell(x.display(), search)).empty(); });
        EXPECT_FALSE(id.empty()) << "no window " << title << "\n" << launcher->errors();
        return id.substr(0, id.find('\n'));
    }
    // Types xdotool key names ("alt+s Tab space") into the window `title`, focused.
    void keys(const std::string &names, const std::string &title = TITLE, pid_t pid = 0)
    {
        const std::string window = wait_for(title, pid);
        shell(x.display(), "xdotool windowfocus --sync " + window);
        shell(x.display(), "xdotool key --delay 40 " + names);
    }
    void dismiss_error() { keys("Return", "Error"); }

    void expect_clean_exit()
    {
        EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
        EXPECT_EQ(launcher->output(), "");
    }
    std::string prefs() const { return read_file(game.prefs()); }

    // The game's starts, "started\n" each, once the launcher and every game it started have ended.
    std::string starts()
    {
        EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
        poll_until([&] {
            std::error_code ec;
            for (const fs::directory_entry &p : fs::directory_iterator("/proc"))
                if (fs::read_symlink(p.path() / "cwd", ec) == game.path())
                    return false;
            return true;
        });
        return read_file(report / "starts");
    }

    static constexpr const char *TITLE = "Karthos Preferences";
    static constexpr uid_t USER = 65534;
    XServer::Kind kind_;
    XServer x;
    GameDir game;
    TempDir report;
    std::unique_ptr<Process> launcher;
};

} // namespace e2e
