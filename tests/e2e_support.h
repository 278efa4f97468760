// Running the real KTLaunch executable: a game directory of its own, a virtual X
// server, and the keyboard.
#pragma once

#include "test_support.h"
#include "x_server.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace e2e {

using namespace std::chrono_literals;

// The environment of this process without any display, with `extra` added.
inline std::vector<std::string> environment(const std::map<std::string, std::string> &extra)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" &&
            !extra.count(name))
            env.push_back(entry);
    }
    for (const auto &[name, value] : extra) env.push_back(name + "=" + value);
    return env;
}

// A child process with its standard output (and error) captured in files.
class Process {
  public:
    // With `no_std_streams`, it starts with its standard streams closed, as a program
    // started by a desktop may.
    Process(const std::vector<std::string> &argv, const std::vector<std::string> &env,
            const fs::path &cwd, const fs::path &out_file, bool no_std_streams = false)
        : out_file_(out_file)
    {
        pid_ = fork();
        if (pid_ == 0) {
            const int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            const int err = open((out_file.string() + ".err").c_str(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
            for (int fd = 0; fd <= 2; ++fd) close(fd);
            if (!no_std_streams) {
                dup2(null, 0);
                dup2(out, 1);
                dup2(err, 2);
            }
            if (chdir(cwd.c_str()) != 0)
                _exit(126);
            std::vector<char *> args, envp;
            for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
            for (const auto &e : env) envp.push_back(const_cast<char *>(e.c_str()));
            args.push_back(nullptr);
            envp.push_back(nullptr);
            execve(args[0], args.data(), envp.data());
            _exit(127);
        }
    }
    ~Process()
    {
        if (pid_ > 0 && !status_) {
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
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!status_ && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                status_ = status;
            else
                std::this_thread::sleep_for(10ms);
        }
        if (!status_ || !WIFEXITED(*status_))
            return std::nullopt;
        return WEXITSTATUS(*status_);
    }

    std::string output() const { return read_file(out_file_); }
    std::string errors() const { return read_file(out_file_.string() + ".err"); }

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    fs::path out_file_;
};

// A virtual X server for one test.
struct Xvfb : XServer {
    Xvfb() : XServer(XServer::xvfb) {}
};

// Runs a command line with DISPLAY set; returns its standard output.
inline std::string on_display(const std::string &display, const std::string &command)
{
    const std::string line = "DISPLAY=" + display + " " + command + " 2>/dev/null";
    std::string out;
    if (FILE *p = popen(line.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

// The id of the first visible window whose title is `title`, waiting for it.
inline std::string find_window(const std::string &display, const std::string &title,
                               std::chrono::milliseconds timeout = 20s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::string id =
            on_display(display, "xdotool search --onlyvisible --name '^" + title + "$'");
        if (!id.empty())
            return id.substr(0, id.find('\n'));
        std::this_thread::sleep_for(50ms);
    }
    return {};
}

// Gives the keyboard focus to a window and types xdotool key names into it
// ("alt+s", "Tab", "space", ...), one after another.
inline void type_keys(const std::string &display, const std::string &window,
                      const std::string &keys)
{
    on_display(display, "xdotool windowfocus --sync " + window);
    on_display(display, "xdotool key --delay 40 " + keys);
}

// Asks a window to close, as its close button would.
inline void close_window(const std::string &display, const std::string &window)
{
    on_display(display, std::string(XCLOSE) + " " + window);
}

// Waits until `path` exists.
inline bool wait_for_file(const fs::path &path, std::chrono::milliseconds timeout = 20s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fs::exists(path) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    return fs::exists(path);
}

// A game directory with its own copy of the launcher.
class GameDir {
  public:
    GameDir() { fs::copy_file(KTLAUNCH_EXE, dir_ / "KTLaunch"); }

    fs::path path() const { return dir_.path(); }
    fs::path prefs() const { return dir_ / "Karthos.prefs"; }
    fs::path exe() const { return dir_ / "KTLaunch"; }

    // Starts the launcher from another directory, so that only the program's own
    // directory can lead it to its files; as an ordinary user with `as_user`.
    std::unique_ptr<Process> start(std::map<std::string, std::string> env, bool as_user = false,
                                   bool no_std_streams = false,
                                   const std::vector<std::string> &args = {}) const
    {
        std::vector<std::string> argv = {exe().string()};
        argv.insert(argv.end(), args.begin(), args.end());
        if (as_user) {
            argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=" + std::to_string(NOBODY),
                                       "--regid=" + std::to_string(NOBODY), "--clear-groups"});
            share_leak_suppressions(env);
        }
        return std::make_unique<Process>(argv, environment(env), cwd_.path(), cwd_ / "stdout.txt",
                                         no_std_streams);
    }

    // The sanitizer build's suppressions may lie where that user cannot read them (a
    // checkout in root's temporary directory): the user gets a copy beside the launcher.
    void share_leak_suppressions(std::map<std::string, std::string> &env) const
    {
        const char *options = std::getenv("LSAN_OPTIONS");
        std::string lsan = options ? options : "";
        const auto at = lsan.find("suppressions=");
        if (at == std::string::npos)
            return;
        const auto from = at + 13, to = std::min(lsan.find(':', from), lsan.size());
        fs::copy_file(lsan.substr(from, to - from), cwd_ / "lsan.supp",
                      fs::copy_options::overwrite_existing);
        env["LSAN_OPTIONS"] = lsan.replace(from, to - from, (cwd_ / "lsan.supp").string());
    }

    // Lets an ordinary user run the launcher here; the directory belongs to `owner`.
    void open_to_users(uid_t owner) const
    {
        for (const fs::path &p : {dir_.path(), cwd_.path()}) fs::permissions(p, fs::perms(0755));
        EXPECT_EQ(chown(dir_.path().c_str(), owner, owner), 0);
    }

    static constexpr uid_t NOBODY = 65534;

  private:
    TempDir dir_;
    TempDir cwd_;
};

// A game directory on a virtual X server with a stand-in game that reports, in a
// directory of its own ($REPORT), how it was started: the file it found, its working
// directory and session, its open files, and one line in "starts" for each start.
class LauncherE2E : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
        fs::permissions(report.path(), fs::perms(0777));
        write_file(game.path() / "KarthosDemo",
                   "#!/bin/sh\n"
                   "for n in $(seq 0 64); do [ -e /proc/$$/fd/$n ] && "
                   "fds=\"$fds$n $(readlink /proc/$$/fd/$n)\n\"; done\n"
                   "printf \"$fds\" > \"$REPORT/fds\"\n"
                   "cp Karthos.prefs \"$REPORT/found.prefs\"\n"
                   "echo \"$(pwd) $$ $(cut -d' ' -f6 /proc/$$/stat)\" > \"$REPORT/started\"\n"
                   "[ -z \"$APPEND\" ] || printf '\\tAddedByGame = 1\\n' >> Karthos.prefs\n"
                   "echo started >> \"$REPORT/starts\"\n");
        fs::permissions(game.path() / "KarthosDemo", fs::perms(0755));
    }

    // Starts the launcher on `prefs` (none: no file), as an ordinary user with `as_user`.
    void start(const std::optional<std::string> &prefs, bool as_user = false,
               std::map<std::string, std::string> env = {}, bool no_std_streams = false)
    {
        if (prefs)
            write_file(game.prefs(), *prefs);
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
    void keys(const std::string &names) { type_keys(x.display(), wait_for(TITLE), names); }
    // One error requester, answered; the launcher goes on.
    void dismiss_error() { type_keys(x.display(), wait_for("Error"), "Return"); }

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
        wait_for_file(report / "starts", 5s);
        std::this_thread::sleep_for(300ms); // a second start would show by now
        return read_file(report / name);
    }

    static constexpr const char *TITLE = "Karthos Preferences";
    Xvfb x;
    GameDir game;
    TempDir report;
    std::unique_ptr<Process> launcher;
};

} // namespace e2e
