// Host services: the user's language, directories, streams and detached programs.
#include "platform/host.h"
#include "test_support.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Sets the locale variables for one test and puts the old ones back.
class LocaleEnv {
  public:
    LocaleEnv(const char *all, const char *messages, const char *lang)
    {
        for (const char *name : NAMES) {
            const char *old = std::getenv(name);
            saved_.emplace_back(old ? std::optional<std::string>(old) : std::nullopt);
        }
        set("LC_ALL", all);
        set("LC_MESSAGES", messages);
        set("LANG", lang);
    }
    ~LocaleEnv()
    {
        for (std::size_t i = 0; i < 3; ++i) set(NAMES[i], saved_[i] ? saved_[i]->c_str() : nullptr);
    }
    LocaleEnv(const LocaleEnv &) = delete;
    LocaleEnv &operator=(const LocaleEnv &) = delete;

  private:
    static constexpr const char *NAMES[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    static void set(const char *name, const char *value)
    {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    std::vector<std::optional<std::string>> saved_;
};

TEST(UserLanguage, ThreeLetterCodeFromTheFirstSetVariable)
{
    struct Case {
        const char *all, *messages, *lang, *code;
    } cases[] = {
        {nullptr, nullptr, "de_DE.UTF-8", "deu"},
        {nullptr, nullptr, "fr_FR.UTF-8", "fra"},
        {nullptr, nullptr, "fr_CA", "fra"},
        {nullptr, nullptr, "de_AT@euro", "deu"},
        {nullptr, nullptr, "en_GB.UTF-8", "eng"},
        {nullptr, nullptr, "nl_NL", "nld"},
        {"fr_FR", "de_DE", "en_US", "fra"},
        {nullptr, "de_DE", "fr_FR", "deu"},
        {"", "", "de_DE", "deu"},
        {nullptr, nullptr, "C", ""},
        {nullptr, nullptr, "C.UTF-8", ""},
        {nullptr, nullptr, "POSIX", ""},
        {nullptr, nullptr, nullptr, ""},
    };
    for (const Case &c : cases) {
        LocaleEnv env(c.all, c.messages, c.lang);
        EXPECT_EQ(platform::user_language_code(), c.code)
            << (c.all ? c.all : "-") << " " << (c.messages ? c.messages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}

TEST(Directories, ExistOnlyAsDirectories)
{
    TempDir dir;
    fs::create_directories(dir / "data" / "missionsDE");
    write_file(dir / "data" / "missionsFR", "a file, not a pack");
    EXPECT_TRUE(platform::directory_exists((dir / "data" / "missionsDE").string() + "/"));
    EXPECT_FALSE(platform::directory_exists((dir / "data" / "missionsFR").string() + "/"));
    EXPECT_FALSE(platform::directory_exists((dir / "data" / "missionsXX").string()));
}

TEST(StandardStreams, DuplicatesReferToTheSameFiles)
{
    for (auto [stream, fd] :
         {std::pair{platform::StdStream::input, 0}, std::pair{platform::StdStream::output, 1},
          std::pair{platform::StdStream::error, 2}}) {
        const int dup = platform::dup_std_stream(stream);
        ASSERT_GE(dup, 3);
        struct stat a {
        }, b{};
        ASSERT_EQ(fstat(fd, &a), 0);
        ASSERT_EQ(fstat(dup, &b), 0);
        EXPECT_EQ(a.st_dev, b.st_dev);
        EXPECT_EQ(a.st_ino, b.st_ino);
        EXPECT_TRUE(fcntl(dup, F_GETFD) & FD_CLOEXEC); // never leaks into other programs
        platform::close_handle(dup);
    }
}

// Started from a desktop, a program may have no standard input at all; the game then
// gets an empty one rather than no game at all.
[[noreturn]] void dup_of_closed_stream()
{
    close(0);
    const int dup = platform::dup_std_stream(platform::StdStream::input);
    struct stat got {
    }, null{};
    const bool is_null = dup >= 3 && fstat(dup, &got) == 0 && stat("/dev/null", &null) == 0 &&
                         got.st_rdev == null.st_rdev;
    const bool input_still_closed = fcntl(0, F_GETFD) < 0;
    std::exit(is_null && input_still_closed ? 0 : 1);
}

TEST(StandardStreams, AClosedStreamIsHandedOnAsAnEmptyOne)
{
    EXPECT_EXIT(dup_of_closed_stream(), ::testing::ExitedWithCode(0), "");
}

class SpawnTest : public ::testing::Test {
  protected:
    void TearDown() override { std::signal(SIGCHLD, SIG_DFL); }

    // A program that records where and how it runs, then ends.
    fs::path recorder()
    {
        const fs::path script = dir / "game";
        write_file(script,
                   "#!/bin/sh\n"
                   "{ echo \"pid $$\"; echo \"cwd $(pwd)\";\n"
                   "  echo \"sid $(cut -d' ' -f6 /proc/$$/stat)\"; echo \"stack $(ulimit -s)\";\n"
                   "  echo \"args $*\"; } > \"$0.out.tmp\"\n"
                   "echo to-stdout\n"
                   "mv \"$0.out.tmp\" \"$0.out\"\n");
        fs::permissions(script, fs::perms(0755));
        return script;
    }

    // The recorder's report as "key value" lines, waiting for it to appear.
    std::map<std::string, std::string> report(const fs::path &script)
    {
        const fs::path out = script.string() + ".out";
        for (int i = 0; i < 500 && !fs::exists(out); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::map<std::string, std::string> lines;
        std::istringstream in(read_file(out));
        for (std::string key, value; in >> key && std::getline(in >> std::ws, value);)
            lines[key] = value;
        return lines;
    }

    TempDir dir;
};

TEST_F(SpawnTest, RunsDetachedInItsDirectoryWithTheStreamsItIsGiven)
{
    const fs::path game = recorder();
    fs::create_directory(dir / "elsewhere");
    const int out = open((dir / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(out, 0);
    ASSERT_TRUE(platform::spawn_detached({.program = game.string(),
                                          .args = {"one two"},
                                          .working_dir = (dir / "elsewhere").string(),
                                          .out = out}));
    close(out);
    const auto info = report(game);
    EXPECT_EQ(info.at("cwd"), (dir / "elsewhere").string());
    EXPECT_EQ(info.at("sid"), info.at("pid")); // leads a session of its own
    EXPECT_NE(info.at("sid"), std::to_string(getsid(0)));
    EXPECT_EQ(info.at("args"), "one two");
    for (int i = 0; i < 500 && read_file(dir / "stdout.txt").empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(read_file(dir / "stdout.txt"), "to-stdout\n");

    // Once it has ended, nothing of it is left, not even a zombie.
    const fs::path proc = "/proc/" + info.at("pid");
    for (int i = 0; i < 500 && fs::exists(proc); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(fs::exists(proc));
}

TEST_F(SpawnTest, StackLimitIsRaisedButNeverLowered)
{
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_STACK, &old), 0);
    const fs::path game = recorder();

    rlimit low = old;
    low.rlim_cur = 256 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_STACK, &low), 0);
    ASSERT_TRUE(platform::spawn_detached({.program = game.string(), .min_stack = 524288}));
    rlimit after{};
    getrlimit(RLIMIT_STACK, &after);
    EXPECT_EQ(after.rlim_cur, low.rlim_cur); // the launcher's own limit is put back
    EXPECT_EQ(report(game).at("stack"), "512");

    fs::remove(game.string() + ".out");
    rlimit high = old;
    high.rlim_cur = 16 * 1024 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_STACK, &high), 0);
    ASSERT_TRUE(platform::spawn_detached({.program = game.string(), .min_stack = 524288}));
    EXPECT_EQ(report(game).at("stack"), "16384");
    setrlimit(RLIMIT_STACK, &old);
}

TEST_F(SpawnTest, ProgramsThatCannotRunFailAtOnce)
{
    const fs::path text = dir / "not-executable";
    write_file(text, "#!/bin/sh\necho hi\n");
    fs::permissions(text, fs::perms(0644));
    const fs::path garbage = dir / "not-a-program";
    write_file(garbage, std::string("\x7f"
                                    "ELF but not really",
                                    20));
    fs::permissions(garbage, fs::perms(0755));

    const std::pair<fs::path, int> cases[] = {
        {dir / "missing", ENOENT}, {text, EACCES}, {garbage, ENOEXEC}, {dir.path(), EACCES}};
    for (const auto &[program, error] : cases) {
        errno = 0;
        EXPECT_FALSE(platform::spawn_detached({.program = program.string()})) << program;
        EXPECT_EQ(errno, error) << program;
    }
}

TEST_F(SpawnTest, NoSearchOfPath)
{
    errno = 0;
    EXPECT_FALSE(platform::spawn_detached({.program = "sh"}));
    EXPECT_EQ(errno, ENOENT);
}

} // namespace
