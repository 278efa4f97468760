// Detached programs: how they start, and how they fail to.
#include "platform/process.h"
#include "test_support.h"

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct SpawnTest : ::testing::Test {
    TempDir dir;
};

// The game is not the launcher's child; the launcher's handling of children stays.
TEST_F(SpawnTest, RunsAloneInItsDirectoryWithItsStreamsAndStackAndIsNotTheLaunchersChild)
{
    const fs::path game = dir / "game", out = dir / "stdout.txt";
    write_file(game, "#!/bin/sh\nsid=$(cut -d' ' -f6 /proc/$$/stat)\n"
                     "echo \"$$ $(pwd) $([ $sid = $$ ] && echo leader) $(ulimit -s) $*\"\n");
    fs::permissions(game, fs::perms(0755));
    rlimit old{}, now{};
    ASSERT_EQ(getrlimit(RLIMIT_STACK, &old), 0);
    const std::pair<rlim_t, std::string> stacks[] = {{256 << 10, "512"}, {16 << 20, "16384"}};
    for (const auto &[own, seen] : stacks) {
        const rlimit set{own, old.rlim_max};
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(setrlimit(RLIMIT_STACK, &set), 0);
        const pid_t pid =
            platform::spawn_detached({game, {"one two"}, dir.path(), 0, fd, 2, 512 << 10});
        ASSERT_GT(pid, 0);
        EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
        close(fd);
        ASSERT_EQ(getrlimit(RLIMIT_STACK, &now), 0);
        EXPECT_EQ(now.rlim_cur, own); // the launcher's own limit is put back
        for (int i = 0; i < 500 && !read_file(out).ends_with('\n'); ++i) usleep(10000);
        EXPECT_EQ(read_file(out), std::to_string(pid) + " " + dir.path().string() + " leader " +
                                      seen + " one two\n");
    }
    struct sigaction child {};
    ASSERT_EQ(sigaction(SIGCHLD, nullptr, &child), 0);
    EXPECT_EQ(child.sa_handler, SIG_DFL);
    setrlimit(RLIMIT_STACK, &old);
}

TEST_F(SpawnTest, ProgramsThatCannotRunFailAtOnceWithoutSearchingPath)
{
    write_file(dir / "text", "#!/bin/sh\n");
    write_file(dir / "bad", "\177ELF but not really");
    fs::permissions(dir / "bad", fs::perms(0755));
    const std::pair<fs::path, int> cases[] = {
        {dir / "missing", ENOENT}, {dir / "text", EACCES}, {dir / "bad", ENOEXEC},
        {dir.path(), EACCES},      {"sh", ENOENT},         {"", ENOENT}};
    for (const auto &[program, error] : cases) {
        errno = 0;
        EXPECT_EQ(platform::spawn_detached({.program = program}), -1) << program;
        EXPECT_EQ(errno, error) << program;
    }
}

} // namespace
