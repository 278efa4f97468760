// An X server of a test's own on a free display: Xvfb, or X.Org with the dummy driver for
// real RandR modes (tests/xorg-dummy.conf; needs root).
#pragma once

#include "test_support.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

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
