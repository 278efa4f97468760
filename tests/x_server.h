// An X server of a test's own, on a display number it finds free: Xvfb, or, for tests that need
// real RandR modes, X.Org at depth 24 with the dummy video driver: 1920x1080 at 59.94 Hz,
// 1024x768 at 60.00, 640x480 at 59.94, 400x300 at 76.29 (below the smallest size games
// are offered) and those Xorg adds itself. Xorg needs root; scripts/setup.sh installs
// both servers.
#pragma once

#include "test_support.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

class XServer {
  public:
    enum Kind { xvfb, xorg_dummy };

    // Starts the server on a display number it finds free and waits until it accepts
    // connections: it writes the number, then a newline, to a pipe once it does.
    explicit XServer(Kind kind)
    {
        write_file(dir_ / "xorg.conf", CONFIG);
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) {
            error_ = "no pipe";
            return;
        }
        const std::string fd = std::to_string(ready[1]), conf = (dir_ / "xorg.conf").string(),
                          log = (dir_ / "Xorg.log").string(), out = (dir_ / "server.out").string();
        const char *xorg_args[] = {"Xorg",      "-config",    conf.c_str(), "-logfile",
                                   log.c_str(), "-displayfd", fd.c_str(),   "-nolisten",
                                   "tcp",       "-noreset",   "-sharevts",  "-novtswitch",
                                   nullptr};
        const char *xvfb_args[] = {"Xvfb",     "-screen",   "0",   "1280x800x24", "-displayfd",
                                   fd.c_str(), "-nolisten", "tcp", "-noreset",    nullptr};
        const char *const *argv = kind == xorg_dummy ? xorg_args : xvfb_args;
        if ((pid_ = fork()) == 0) { // nothing but system calls until exec
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            fcntl(ready[1], F_SETFD, 0); // kept open across exec
            execvp(argv[0], const_cast<char *const *>(argv));
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
    XServer(const XServer &) = delete;

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
    static constexpr const char *CONFIG = R"(
Section "ServerFlags" Option "AutoAddDevices" "false" Option "AutoAddGPU" "false" EndSection
Section "Device" Identifier "dummy" Driver "dummy" VideoRam 65536 EndSection
Section "Monitor" Identifier "monitor" HorizSync 5-1000 VertRefresh 5-200
  Modeline "1920x1080" 148.352 1920 2008 2052 2200 1080 1084 1089 1125
  Modeline "1024x768" 65 1024 1048 1184 1344 768 771 777 806
  Modeline "640x480" 25.175 640 656 752 800 480 490 492 525
  Modeline "400x300" 12.5 400 416 456 512 300 301 304 320 EndSection
Section "Screen" Identifier "screen" Device "dummy" Monitor "monitor" DefaultDepth 24
  SubSection "Display" Depth 24 Virtual 1920 1080
    Modes "1920x1080" "1024x768" "640x480" "400x300" EndSubSection EndSection)";

    TempDir dir_;
    pid_t pid_ = -1;
    std::string display_, error_;
};
