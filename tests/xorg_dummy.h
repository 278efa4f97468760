// A headless X.Org server with the dummy video driver, for tests that need a real X
// server with real display-mode timings (RandR modes with pixel clock and totals).
//
// The server gets a configuration of its own in a temporary directory and a free
// display number, and is stopped in the destructor. Starting Xorg this way needs root
// (as in CI and the development containers) and the packages xserver-xorg-core and
// xserver-xorg-video-dummy (scripts/setup.sh installs them).
//
//     XorgDummy xorg;
//     ASSERT_TRUE(xorg.running()) << xorg.error();
//     setenv("DISPLAY", xorg.display().c_str(), 1);
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

class XorgDummy {
  public:
    // A mode line of the monitor: name, pixel clock, horizontal and vertical timings.
    struct Modeline {
        std::string name;      // "1920x1080"
        std::string clock_mhz; // "148.352", as written into the configuration
        int h[4];              // display, sync start, sync end, total
        int v[4];              // likewise
    };

    // The modes the server offers besides the ones X.Org adds by itself:
    // 1920x1080 at 148.352 MHz with 2200 clocks a line and 1125 lines (59.94 Hz),
    // 1024x768 at 60.00 Hz, 640x480 at 59.94 Hz, and 400x300 at 76.29 Hz, below
    // the smallest size a game is usually offered.
    static std::vector<Modeline> default_modelines()
    {
        return {
            {"1920x1080", "148.352", {1920, 2008, 2052, 2200}, {1080, 1084, 1089, 1125}},
            {"1024x768", "65.000", {1024, 1048, 1184, 1344}, {768, 771, 777, 806}},
            {"640x480", "25.175", {640, 656, 752, 800}, {480, 490, 492, 525}},
            {"400x300", "12.500", {400, 416, 456, 512}, {300, 301, 304, 320}},
        };
    }

    // Starts the server at depth 24 and waits until it accepts connections (at most
    // `timeout`). Check running(); error() says why not.
    explicit XorgDummy(std::vector<Modeline> modelines = default_modelines(),
                       std::chrono::seconds timeout = std::chrono::seconds(30))
        : modelines_(std::move(modelines))
    {
        if (!make_dir())
            return;
        write_config();
        start(timeout);
    }

    ~XorgDummy()
    {
        stop();
        std::error_code ec;
        if (!dir_.empty())
            std::filesystem::remove_all(dir_, ec);
    }

    XorgDummy(const XorgDummy &) = delete;
    XorgDummy &operator=(const XorgDummy &) = delete;

    bool running() const { return pid_ > 0 && !display_.empty(); }
    // ":N", the value for DISPLAY; empty when the server is not running.
    const std::string &display() const { return display_; }
    // Why the server is not running, with the end of its log.
    const std::string &error() const { return error_; }
    const std::vector<Modeline> &modelines() const { return modelines_; }
    std::filesystem::path log_path() const { return dir_ / "Xorg.log"; }

    // Ends the server (SIGTERM, then SIGKILL after ten seconds) and waits for it.
    void stop()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        if (!reap(std::chrono::seconds(10))) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
        display_.clear();
    }

  private:
    bool make_dir()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ktlaunch-xorg-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            error_ = "cannot make a temporary directory";
            return false;
        }
        dir_ = pattern;
        return true;
    }

    void write_config() const
    {
        std::ofstream conf(dir_ / "xorg.conf");
        conf << "Section \"ServerFlags\"\n"
                "    Option \"AutoAddDevices\" \"false\"\n"
                "    Option \"AutoAddGPU\" \"false\"\n"
                "    Option \"DontVTSwitch\" \"true\"\n"
                "EndSection\n"
                "Section \"Device\"\n"
                "    Identifier \"dummy\"\n"
                "    Driver \"dummy\"\n"
                "    VideoRam 65536\n"
                "EndSection\n"
                "Section \"Monitor\"\n"
                "    Identifier \"monitor\"\n"
                "    HorizSync 5.0 - 1000.0\n"
                "    VertRefresh 5.0 - 200.0\n";
        for (const Modeline &m : modelines_)
            conf << "    Modeline \"" << m.name << "\" " << m.clock_mhz << ' ' << m.h[0] << ' '
                 << m.h[1] << ' ' << m.h[2] << ' ' << m.h[3] << ' ' << m.v[0] << ' ' << m.v[1]
                 << ' ' << m.v[2] << ' ' << m.v[3] << " +hsync +vsync\n";
        conf << "EndSection\n"
                "Section \"Screen\"\n"
                "    Identifier \"screen\"\n"
                "    Device \"dummy\"\n"
                "    Monitor \"monitor\"\n"
                "    DefaultDepth 24\n"
                "    SubSection \"Display\"\n"
                "        Depth 24\n"
                "        Modes";
        for (const Modeline &m : modelines_) conf << " \"" << m.name << '"';
        conf << "\n"
                "        Virtual 1920 1080\n"
                "    EndSubSection\n"
                "EndSection\n";
    }

    // Xorg picking a free display number itself (-displayfd alone) races with other X
    // servers starting at the same time: two of them can take the same socket. With a
    // number given, Xorg locks it first and gives up when another server holds it, and
    // the next number is tried.
    void start(std::chrono::seconds timeout)
    {
        const int first = 100 + static_cast<int>(getpid() % 400);
        for (int number = first; number < first + 32; ++number) {
            const std::string n = std::to_string(number);
            if (std::filesystem::exists("/tmp/.X" + n + "-lock") ||
                std::filesystem::exists("/tmp/.X11-unix/X" + n))
                continue;
            switch (start_on(n, timeout)) {
            case Start::up:
                display_ = ":" + n;
                return;
            case Start::busy:
                continue;
            case Start::failed:
                fail("Xorg did not come up on :" + n + " within " +
                     std::to_string(timeout.count()) + " s");
                return;
            }
        }
        fail("no free display number from :" + std::to_string(first));
    }

    enum class Start { up, busy, failed };

    Start start_on(const std::string &number, std::chrono::seconds timeout)
    {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0)
            return Start::failed;
        // Everything the child needs is made before fork: after it, only exec.
        const std::string display = ":" + number;
        const std::string config = (dir_ / "xorg.conf").string();
        const std::string log = log_path().string();
        const std::string output = (dir_ / "Xorg.out").string();
        constexpr int ready_fd = 3;
        const std::string ready_arg = std::to_string(ready_fd);
        std::vector<std::string> args = {
            "Xorg",    display, "-noreset", "-nolisten", "tcp",        "-sharevts", "-novtswitch",
            "-config", config,  "-logfile", log,         "-displayfd", ready_arg};
        std::vector<char *> argv;
        for (std::string &arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);

        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0); // no terminal signals of the test's process group
            const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int null = open("/dev/null", O_RDONLY);
            if (out < 0 || null < 0)
                _exit(126);
            dup2(null, 0);
            dup2(out, 1);
            dup2(out, 2);
            if (ready[1] == ready_fd)
                fcntl(ready_fd, F_SETFD, 0); // kept across exec
            else
                dup2(ready[1], ready_fd); // a copy without close-on-exec
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(ready[1]);
        if (pid_ < 0) {
            close(ready[0]);
            return Start::failed;
        }
        const std::string announced = read_display_number(ready[0], timeout);
        close(ready[0]);
        if (announced == number && accepts_connections(number))
            return Start::up;
        stop();
        std::ifstream in(dir_ / "Xorg.out");
        const std::string said((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        return said.find("already active") != std::string::npos ? Start::busy : Start::failed;
    }

    // The display number Xorg writes once it listens; empty when it ends or is late.
    std::string read_display_number(int fd, std::chrono::seconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string text;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return {};
            pollfd p{fd, POLLIN, 0};
            const int n = poll(&p, 1, static_cast<int>(left.count()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return {};
            char buffer[32];
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return {}; // the server ended without a display
            text.append(buffer, static_cast<std::size_t>(got));
            if (const auto end = text.find('\n'); end != std::string::npos) {
                text.resize(end);
                return text.find_first_not_of("0123456789") == std::string::npos ? text
                                                                                 : std::string();
            }
        }
    }

    static bool accepts_connections(const std::string &number)
    {
        const std::string path = "/tmp/.X11-unix/X" + number;
        sockaddr_un addr{};
        if (path.size() >= sizeof addr.sun_path)
            return false;
        addr.sun_family = AF_UNIX;
        path.copy(addr.sun_path, path.size());
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        const bool ok = connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0;
        close(fd);
        return ok;
    }

    bool reap(std::chrono::seconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            const pid_t done = waitpid(pid_, nullptr, WNOHANG);
            if (done == pid_ || (done < 0 && errno == ECHILD))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    void fail(const std::string &why)
    {
        stop();
        std::ostringstream text;
        text << why << " (is it installed? scripts/setup.sh installs it; it needs root).";
        for (const auto &file : {dir_ / "Xorg.out", log_path()}) {
            std::ifstream in(file);
            std::vector<std::string> lines;
            for (std::string line; std::getline(in, line);) lines.push_back(line);
            text << "\n--- end of " << file.filename().string() << ":";
            for (std::size_t i = lines.size() > 15 ? lines.size() - 15 : 0; i < lines.size(); ++i)
                text << "\n" << lines[i];
        }
        error_ = text.str();
    }

    std::vector<Modeline> modelines_;
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    std::string display_;
    std::string error_;
};
