// The real executable under limits the window toolkit cannot live with: told, never hung.
#include "e2e_support.h"

namespace {

using namespace e2e;

// Status 1 and the reason, the file untouched; a low soft stack limit is raised instead.
TEST_F(LauncherE2E, LimitsTheToolkitCannotLiveWithAreTold)
{
    if (geteuid() != 0 || !installed("setpriv"))
        GTEST_SKIP() << "running as an ordinary user needs root and setpriv";
    const std::string stored = "[Config]\n\n\tShowFPS = 0\n"; // as the launcher writes it
    const struct {
        std::string limits;
        bool as_user;
        std::string err; // empty: the window shows, and SIGTERM ends it
    } cases[] = {
        {"prlimit --stack=65536", false,
         "KTLaunch: the stack limit (ulimit -s) is below 256 KiB: the window cannot be shown\n"},
        // (The sanitizers' leak check, in a test build, needs a thread of its own.)
        {"env ASAN_OPTIONS=detect_leaks=0 prlimit --nproc=0", true,
         "KTLaunch: no threads can be started for the window (Resource temporarily "
         "unavailable): see the limits of processes (ulimit -u) and of memory (ulimit -v)\n"},
        {"prlimit --stack=65536:unlimited", false, ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.limits);
        start(stored, c.as_user, c.limits);
        if (c.err.empty()) {
            wait_for(TITLE);
            kill(launcher->pid(), SIGTERM);
        }
        EXPECT_EQ(launcher->wait(), c.err.empty() ? 0 : 1);
        EXPECT_EQ(c.err.empty() ? "" : launcher->errors(), c.err);
        EXPECT_EQ(prefs(), stored);
    }
}

} // namespace
