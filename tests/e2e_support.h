// Running the real KTLaunch executable: a game directory of its own, a virtual X
// server, and the keyboard.
#pragma once

#include "test_support.h"
#include "x_server.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char **environ;

namespace e2e {

using namespace std::chrono_literals;
using Env = std::map<std::string, std::string>;

// Whether `done` holds, asked every 20 ms until it does or `timeout` has passed.
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

// A child process in `cwd`, its standard output and error in `out` and `out`.err, in
// this process's environment without any display and with `extra`. With
// `no_std_streams` it starts with its standard streams closed, as a desktop may start it.
class Process {
  public:
    Process(const std::vector<std::string> &argv, const Env &extra, const fs::path &cwd,
            const fs::path &out, bool no_std_streams = false)
        : out_(out)
    {
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            const std::string name(*e, std::strcspn(*e, "="));
            if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" &&
                !extra.count(name))
                env.emplace_back(*e);
        }
        for (const auto &[name, value] : extra) env.push_back(name + "=" + value);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        const std::string err = out.string() + ".err";
        if (no_std_streams)
            for (int fd = 0; fd <= 2; ++fd) posix_spawn_file_actions_addclose(&files, fd);
        else
            for (const auto &[fd, path, flags] :
                 {std::tuple(0, "/dev/null", O_RDONLY),
                  std::tuple(1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC),
                  std::tuple(2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC)})
                posix_spawn_file_actions_addopen(&files, fd, path, flags, 0644);
        posix_spawn_file_actions_addchdir_np(&files, cwd.c_str());
        if (posix_spawn(&pid_, argv[0].c_str(), &files, nullptr, pointers(argv).data(),
                        pointers(env).data()) != 0)
            status_ = 127 << 8;
        posix_spawn_file_actions_destroy(&files);
    }
    ~Process()
    {
        if (!status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    pid_t pid() const { return pid_; }

    // The exit code, or nullopt when it did not end in time (or was killed by a signal).
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
    static std::vector<char *> pointers(const std::vector<std::string> &strings)
    {
        std::vector<char *> result;
        for (const std::string &s : strings) result.push_back(const_cast<char *>(s.c_str()));
        result.push_back(nullptr);
        return result;
    }

    pid_t pid_ = -1;
    std::optional<int> status_;
    fs::path out_;
};

// A game directory with its own copy of the launcher.
class GameDir {
  public:
    GameDir() { fs::copy_file(KTLAUNCH_EXE, dir_ / "KTLaunch"); }

    fs::path path() const { return dir_.path(); }
    fs::path prefs() const { return dir_ / "Karthos.prefs"; }

    // Starts the launcher from another directory, so that only the program's own
    // directory can lead it to its files; as an ordinary user with `as_user`.
    std::unique_ptr<Process> start(Env env, bool as_user = false, bool no_std_streams = false,
                                   const std::vector<std::string> &args = {}) const
    {
        std::vector<std::string> argv = {(dir_ / "KTLaunch").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        if (as_user) {
            const std::string id = std::to_string(NOBODY);
            argv.insert(argv.begin(),
                        {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"});
            share_leak_suppressions(env);
        }
        return std::make_unique<Process>(argv, env, cwd_.path(), cwd_ / "stdout.txt",
                                         no_std_streams);
    }

    // Lets an ordinary user run the launcher here; the directory belongs to `owner`.
    void open_to_users(uid_t owner) const
    {
        for (const fs::path &p : {dir_.path(), cwd_.path()}) fs::permissions(p, fs::perms(0755));
        EXPECT_EQ(chown(dir_.path().c_str(), owner, owner), 0);
    }

    static constexpr uid_t NOBODY = 65534;

  private:
    // The sanitizer build's suppressions may lie where that user cannot read them (a
    // checkout in root's temporary directory): the user gets a copy beside the launcher.
    void share_leak_suppressions(Env &env) const
    {
        std::string lsan = std::getenv("LSAN_OPTIONS") ? std::getenv("LSAN_OPTIONS") : "";
        const auto from = lsan.find("suppressions=") + 13;
        if (from < 13)
            return;
        const auto to = std::min(lsan.find(':', from), lsan.size());
        fs::copy_file(lsan.substr(from, to - from), cwd_ / "lsan.supp",
                      fs::copy_options::overwrite_existing);
        env["LSAN_OPTIONS"] = lsan.replace(from, to - from, (cwd_ / "lsan.supp").string());
    }

    TempDir dir_;
    TempDir cwd_;
};

// A game directory on an X server of the test's own, with a stand-in game that
// reports, in a directory of its own ($REPORT), how it was started: the file it found,
// its working directory and session, its open files, and a line in "starts" a start.
class LauncherE2E : public ::testing::Test {
  protected:
    explicit LauncherE2E(XServer::Kind kind = XServer::xvfb) : x(kind) {}

    void SetUp() override
    {
        ASSERT_TRUE(x.running()) << x.error();
        fs::permissions(report.path(), fs::perms(0777));
        write_file(game.path() / "KarthosDemo",
                   "#!/bin/sh\n"
                   "for n in $(seq 0 64); do [ -e /proc/$$/fd/$n ] && "
                   "fds=\"$fds$n $(readlink /proc/$$/fd/$n)\n\"; done\n"
                   "printf \"$fds\" > \"$REPORT/fds\"\n"
                   "cp Karthos.prefs \"$REPORT/found.prefs\"\n"
                   "echo \"$(pwd) $$ $(cut -d' ' -f6 /proc/$$/stat)\" > \"$REPORT/started\"\n"
                   "echo started >> \"$REPORT/starts\"\n");
        fs::permissions(game.path() / "KarthosDemo", fs::perms(0755));
    }

    // Starts the launcher on `prefs` (none: no file), as an ordinary user with `as_user`.
    void start(const std::optional<std::string> &prefs, bool as_user = false, Env env = {},
               bool no_std_streams = false)
    {
        if (prefs)
            write_file(game.prefs(), *prefs);
        env["DISPLAY"] = x.display();
        env["REPORT"] = report.path().string();
        launcher = game.start(env, as_user, no_std_streams);
    }

    // The id of the first visible window titled `title`, waiting for it.
    std::string wait_for(const std::string &title, std::chrono::milliseconds timeout = 20s)
    {
        std::string id;
        poll_until(
            [&] {
                id = shell(x.display(), "xdotool search --onlyvisible --name '^" + title + "$'");
                return !id.empty();
            },
            timeout);
        EXPECT_FALSE(id.empty()) << "no window " << title << "\n" << launcher->errors();
        return id.substr(0, id.find('\n'));
    }
    // Gives the window `title` the keyboard focus and types xdotool key names into it
    // ("alt+s", "Tab", "space", ...), one after another.
    void keys(const std::string &names, const std::string &title = TITLE)
    {
        const std::string window = wait_for(title);
        shell(x.display(), "xdotool windowfocus --sync " + window);
        shell(x.display(), "xdotool key --delay 40 " + names);
    }
    // One error requester, answered; the launcher goes on.
    void dismiss_error() { keys("Return", "Error"); }

    void expect_clean_exit()
    {
        EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
        EXPECT_EQ(launcher->output(), "");
    }
    std::string prefs() const { return read_file(game.prefs()); }

    // What the game left in the report directory, once the launcher has ended.
    std::string reported(const std::string &name)
    {
        EXPECT_EQ(launcher->wait(), 0) << launcher->errors();
        poll_until([&] { return fs::exists(report / "starts"); }, 5s);
        std::this_thread::sleep_for(300ms); // a second start would show by now
        return read_file(report / name);
    }

    static constexpr const char *TITLE = "Karthos Preferences";
    XServer x;
    GameDir game;
    TempDir report;
    std::unique_ptr<Process> launcher;
};

} // namespace e2e
