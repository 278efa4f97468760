// The store in memory, and "Karthos.prefs": the reader's rules, the writer's bytes, and saves
// that never lose it.
#include "test_support.h"

#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using platform::MemKind;
using platform::testing::FileStep;
using Messages = std::vector<std::string>;

namespace {

TEST_F(PrefsDirTest, NamesMatchInAnyAsciiCaseKeepTheirFirstFormAndOrder)
{
    ASSERT_TRUE(config_init());
    for (const char *key : {"ShowFPS", "b", "a"})
        ASSERT_TRUE(config_set_option("Config", key, "1"));
    ASSERT_TRUE(config_set_option("\xC4", "k", "upper")); // Latin-1 letters are not folded
    ASSERT_TRUE(config_set_option("\xE4", "k", "lower"));
    ASSERT_TRUE(config_set_option("", "", ""));
    ASSERT_TRUE(config_set_option("CONFIG", "SHOWfps", "updated, and longer than before"));
    EXPECT_STREQ(config_get_option("config", "showfps", nullptr),
                 "updated, and longer than before");
    EXPECT_STREQ(config_get_option("\xE4", "K", nullptr), "lower");
    EXPECT_EQ(config_get_option("Missing", "key", nullptr), nullptr); // reads create nothing
    EXPECT_STREQ(config_get_option("Config", "missing", "default"), "default");
    EXPECT_EQ(config_get_int("Missing", "key", 42), 42);
    EXPECT_EQ(read_back(),
              "[Config]\n\n\tShowFPS = updated, and longer than before\n\tb = 1\n\ta = 1\n\n"
              "[\xC4]\n\n\tk = upper\n\n[\xE4]\n\n\tk = lower\n\n[]\n\n\t = \n");
}

// A value's buffer has room for 64 bytes more than its text, grows only when it must.
TEST_F(PrefsDirTest, ValueBuffersGrowOnlyWhenTheTextDoesNotFit)
{
    write_file(prefs(), "[S]\nk = abc\nnext = 1\n");
    ASSERT_TRUE(config_init());
    std::vector<std::size_t> sizes;
    platform::testing::set_alloc_fault([&](MemKind kind, std::size_t size) {
        if (kind == MemKind::buffer)
            sizes.push_back(size);
        return false;
    });
    ASSERT_TRUE(config_set_option("S", "k", "abc")); // as loaded: nothing is allocated
    const char *first = config_get_option("S", "k", nullptr);
    ASSERT_TRUE(config_set_option("S", "k", std::string(66, 'f').c_str()));
    EXPECT_EQ(config_get_option("S", "k", nullptr), first); // in place
    ASSERT_TRUE(config_set_option("S", "k", std::string(67, 'g').c_str()));
    ASSERT_TRUE(config_set_option("S", "k", std::string(131, 'h').c_str()));
    ASSERT_TRUE(config_set_option("S", "k", "x"));
    ASSERT_TRUE(config_set_option("S", "new", "abc"));
    platform::testing::set_alloc_fault(nullptr);
    EXPECT_EQ(sizes, (std::vector<std::size_t>{131, 195, 67}));
    EXPECT_EQ(read_back(), "[S]\n\n\tk = x\n\tnext = 1\n\tnew = abc\n");
}

TEST_F(PrefsDirTest, IntegersFollowTheAtoiRuleAndAreStoredAsPlainDecimal)
{
    ASSERT_TRUE(config_init());
    const std::pair<const char *, int32> cases[] = {{"abc", 0},
                                                    {"12abc", 12},
                                                    {" -7", -7},
                                                    {"\t\n\v\f\r +9", 9},
                                                    {"- 3", 0},
                                                    {"0x1F", 0},
                                                    {"2147483647", INT_MAX},
                                                    {"-2147483648", INT_MIN},
                                                    {"99999999999999999999", INT_MAX},
                                                    {"-99999999999999999999", INT_MIN}};
    for (const auto &[text, value] : cases) {
        ASSERT_TRUE(config_set_option("N", "k", text));
        EXPECT_EQ(config_get_int("n", "K", 1234), value) << '"' << text << '"';
    }
    for (int32 value : {-5, 0, INT_MIN})
        ASSERT_TRUE(config_set_int("I", std::to_string(value).c_str(), value));
    EXPECT_NE(read_back().find("[I]\n\n\t-5 = -5\n\t0 = 0\n\t-2147483648 = -2147483648\n"),
              std::string::npos);
}

struct NoMemory {
    MemKind kind;
    int nth;
    const char *section; // written to: a new one, or "Old" with a value too long for its buffer
    const char *leaves;  // the saved store afterwards
};

class NoMemoryTest : public PrefsDirTest, public ::testing::WithParamInterface<NoMemory> {};

TEST_P(NoMemoryTest, ReportsOnceAndLeavesTheRest)
{
    ASSERT_TRUE(config_init());
    ASSERT_TRUE(config_set_option("Old", "k", "old"));
    int count = 0;
    platform::testing::set_alloc_fault([&](MemKind kind, std::size_t) {
        return kind == GetParam().kind && ++count == GetParam().nth;
    });
    EXPECT_FALSE(config_set_option(GetParam().section, "k", std::string(100, 'n').c_str()));
    platform::testing::set_alloc_fault(nullptr);
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Out of memory"});
    EXPECT_EQ(read_back(), GetParam().leaves);
}

INSTANTIATE_TEST_SUITE_P(
    EachAllocation, NoMemoryTest,
    ::testing::Values(
        NoMemory{MemKind::node, 1, "New", "[Old]\n\n\tk = old\n"},            // the section
        NoMemory{MemKind::list, 1, "New", "[Old]\n\n\tk = old\n"},            // its option list
        NoMemory{MemKind::node, 2, "New", "[Old]\n\n\tk = old\n\n[New]\n\n"}, // option
        NoMemory{MemKind::buffer, 1, "New", "[Old]\n\n\tk = old\n\n[New]\n\n"},
        NoMemory{MemKind::buffer, 1, "Old", "[Old]\n\n\tk = old\n"})); // larger buffer

using Reading = std::pair<std::string, std::string>; // the file, and what is saved from it

class ReaderRulesTest : public PrefsDirTest, public ::testing::WithParamInterface<Reading> {};

TEST_P(ReaderRulesTest, LoadedAndSavedAgain)
{
    write_file(prefs(), GetParam().first);
    ASSERT_TRUE(config_init());
    EXPECT_EQ(read_back(), GetParam().second);
    EXPECT_TRUE(log.messages().empty());
}

const char NUL_IN_LINE[] = "[\xE9t\xE9]\nn = a\0b\nlast = x"; // and no final line feed

INSTANTIATE_TEST_SUITE_P(
    Rules, ReaderRulesTest,
    ::testing::Values(
        // A byte order mark is skipped and never written; CR LF, or a lone CR, ends a line.
        Reading{"\xEF\xBB\xBF[A]\r\nk = v\r\n\r\nx = y\r\r\nold = mac\r\rlast = 1\r",
                "[A]\n\n\tk = v\n\tx = y\n\told = mac\n\tlast = 1\n"},
        // Options: blanks around "=" skipped, trailing ones kept, an empty value, a key glued
        // to "=" dropped, a value glued to it not, "=" in keys and values, lines without "=".
        Reading{"[S]\n\tspaced   =   out\ntrailing = kept \t \nempty =\nglued= no\ntight =value\n"
                "a=b = c = d\nnokey\n   = not a key\nkey only\n  [Indented] = an option\n"
                "  [Indented]\nTIGHT = replaced in place\n",
                "[S]\n\n\tspaced = out\n\ttrailing = kept \t \n\tempty = \n"
                "\ttight = replaced in place\n\ta=b = c = d\n\t[Indented] = an option\n"},
        // Headers: text after "]", an empty name, no "]", a repeat in other case, an
        // empty section last; options before any header are dropped.
        Reading{"k = before\n[]\nin = empty name\n[Unclosed\nstill = here\n[With Space] words\n"
                "[a]b]\nx = 1\n[WITH SPACE]\ny = 2\n[Empty]\n",
                "[]\n\n\tin = empty name\n\tstill = here\n\n[With Space]\n\n\ty = 2\n\n"
                "[a]\n\n\tx = 1\n\n[Empty]\n\n"},
        Reading{std::string(NUL_IN_LINE, sizeof NUL_IN_LINE - 1),
                "[\xE9t\xE9]\n\n\tn = a\n\tlast = x\n"},
        Reading{"[S]\nk = " + std::string(100000, 'v') + "\nafter = 1\n",
                "[S]\n\n\tk = " + std::string(100000, 'v') + "\n\tafter = 1\n"},
        Reading{"[S]\nk = " + std::string(4091, 'e') + "\n", // exactly 4095 bytes before the LF
                "[S]\n\n\tk = " + std::string(4091, 'e') + "\n"}));

// Told once; names still found.
TEST_F(PrefsDirTest, EachAllocationOfALoadFailingInTurnLosesOnlyItsPart)
{
    std::string file, full; // 30 sections of 30 options
    for (int n = 0; n < 900; ++n) {
        const std::string section = "[S" + std::to_string(n / 30) + "]\n",
                          option = "k" + std::to_string(n % 30) + " = " + std::to_string(n) + "\n";
        file += (n % 30 ? "" : section) + option;
        full += (n % 30 ? "" : (n ? "\n" : "") + section + "\n") + "\t" + option;
    }
    write_file(prefs(), file);
    for (int nth = 1;; ++nth) {
        MemKind failed{};
        int count = 0;
        platform::testing::set_alloc_fault(
            [&](MemKind kind, std::size_t) { return ++count == nth && (failed = kind, true); });
        const bool loaded = config_init();
        platform::testing::set_alloc_fault(nullptr);
        if (count < nth)
            break; // every allocation has failed once
        SCOPED_TRACE(nth);
        EXPECT_EQ(loaded, nth != 1); // the first is the store itself
        EXPECT_EQ(log.messages(),
                  failed == MemKind::index ? Messages{} : Messages{"Out of memory"});
        if (loaded && failed == MemKind::index) {
            for (int n = 0; n < 900; ++n)
                EXPECT_EQ(config_get_option(("s" + std::to_string(n / 30)).c_str(),
                                            ("K" + std::to_string(n % 30)).c_str(), ""),
                          std::to_string(n));
            EXPECT_EQ(read_back(), full);
        }
        config_shut();
        log.clear();
    }
}

class UnreadableTest : public PrefsDirTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(UnreadableTest, IsReportedOnceAndNeverReplaced)
{
    const std::string name = GetParam();
    if (name == "LinkToDevZero")
        fs::create_symlink("/dev/zero", prefs());
    else
        write_file(prefs(), "[Config]\nShowFPS = 0\n");
    if (name == "OverTheLimit")
        fs::resize_file(prefs(), platform::MAX_READ_SIZE + 1); // sparse
    if (name == "ReadErrorHalfway")
        platform::testing::set_file_hook([reads = 0](FileStep step) mutable {
            return step == FileStep::read && ++reads == 2 ? EIO : 0;
        });
    const auto before = fs::symlink_status(prefs());
    const std::string bytes = fs::is_regular_file(prefs()) ? read_file(prefs()) : "";
    ASSERT_TRUE(config_init());
    EXPECT_EQ(config_get_option("Config", "ShowFPS", nullptr), nullptr);
    ASSERT_TRUE(config_set_option("Config", "ShowFPS", "1"));
    EXPECT_FALSE(config_save());
    EXPECT_FALSE(config_save());
    const std::string reason = name == "OverTheLimit"       ? "larger than 64 MiB"
                               : name == "ReadErrorHalfway" ? "Input/output error"
                                                            : "not a regular file";
    EXPECT_EQ(log.messages(),
              Messages{"Unable to read Karthos.prefs\n" + prefs().string() + ": " + reason});
    EXPECT_EQ(fs::symlink_status(prefs()).type(), before.type());
    if (fs::is_regular_file(prefs())) {
        EXPECT_EQ(read_file(prefs()), bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, UnreadableTest,
                         ::testing::Values("LinkToDevZero", "OverTheLimit", "ReadErrorHalfway"),
                         [](const auto &test) { return std::string(test.param); });

class SaveTest : public PrefsDirTest {
  protected:
    static constexpr const char *OLD = "[Old]\nkept = exactly\n";
    static constexpr const char *NEW = "[Old]\n\n\tkept = exactly\n\n[New]\n\n\tk = v\n";

    void SetUp() override
    {
        PrefsDirTest::SetUp();
        write_file(prefs(), OLD);
        fs::permissions(prefs(), fs::perms(0640));
        ASSERT_TRUE(config_init());
        ASSERT_TRUE(config_set_option("New", "k", "v"));
    }

    static ino_t inode_of(const fs::path &p)
    {
        struct stat st {};
        return stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
    }
};

class FailingStepTest : public SaveTest,
                        public ::testing::WithParamInterface<std::pair<FileStep, int>> {};

// Told once, not tried again; the old file untouched, no temporary file left.
TEST_P(FailingStepTest, LeavesTheOldFile)
{
    platform::testing::set_file_hook(
        [p = GetParam()](FileStep step) { return step == p.first ? p.second : 0; });
    EXPECT_FALSE(config_save());
    EXPECT_FALSE(config_save());
    EXPECT_EQ(log.messages(), Messages{"Unable to create Karthos.prefs\n" + prefs().string() +
                                       ": " + std::strerror(GetParam().second)});
    EXPECT_EQ(read_file(prefs()), OLD);
    EXPECT_EQ(fs::status(prefs()).permissions(), fs::perms(0640));
    EXPECT_EQ(files(), 1);
}

INSTANTIATE_TEST_SUITE_P(EachStep, FailingStepTest,
                         ::testing::Values(std::pair{FileStep::create, EROFS},
                                           std::pair{FileStep::metadata, EIO},
                                           std::pair{FileStep::write, ENOSPC},
                                           std::pair{FileStep::sync, EIO},
                                           std::pair{FileStep::rename, EXDEV}));

// The game's edit (same size and time) stays, a change goes on top; an unreadable file stays.
TEST_F(SaveTest, UnchangedStoreIsNotWrittenAgain)
{
    ASSERT_TRUE(config_save());
    const auto time = fs::last_write_time(prefs());
    const std::string edited = "[Old]\n\n\tkept = EXACTLY\n\n[New]\n\n\tk = v\n";
    write_file(prefs(), edited);
    fs::last_write_time(prefs(), time);
    EXPECT_TRUE(config_save());
    ASSERT_TRUE(config_set_option("New", "k", "v")); // the same value: no change
    EXPECT_TRUE(config_save());
    ASSERT_TRUE(config_set_option("New", "k", "w"));
    EXPECT_TRUE(config_save());
    EXPECT_EQ(read_file(prefs()), "[Old]\n\n\tkept = EXACTLY\n\n[New]\n\n\tk = w\n");
    write_file(prefs(), edited);
    platform::testing::set_file_hook(
        [](FileStep step) { return step == FileStep::open ? EACCES : 0; });
    ASSERT_TRUE(config_set_option("New", "k", "x"));
    EXPECT_FALSE(config_save());
    EXPECT_EQ(log.messages(), Messages{"Unable to read Karthos.prefs\n" + prefs().string() +
                                       ": Permission denied"});
    EXPECT_EQ(read_file(prefs()), edited);
}

// Owner, group, mode, extended attributes and the access list come along.
TEST_F(SaveTest, WhatTheFileCarriesIsKept)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving the file to another user needs root";
    ASSERT_EQ(chown(prefs().c_str(), 65534, 65534), 0);
    fs::permissions(prefs(), fs::perms(0664));
    ASSERT_EQ(setxattr(prefs().c_str(), "user.origin", "player", 6, 0), 0);
    // user::rw- user:65534:r-- group::r-- mask::rw- other::r--
    const uint32_t acl[] = {2,   1 | 6 << 16,  ~0u, 2 | 4 << 16,  65534, 4 | 4 << 16,
                            ~0u, 16 | 6 << 16, ~0u, 32 | 4 << 16, ~0u};
    ASSERT_EQ(setxattr(prefs().c_str(), "system.posix_acl_access", acl, sizeof acl, 0), 0);
    const ino_t before = inode_of(prefs());
    ASSERT_TRUE(config_save());
    struct stat st {};
    ASSERT_EQ(stat(prefs().c_str(), &st), 0);
    EXPECT_NE(st.st_ino, before); // replaced, not rewritten
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    char value[64] = {};
    EXPECT_EQ(getxattr(prefs().c_str(), "user.origin", value, sizeof value), 6);
    EXPECT_STREQ(value, "player");
    uint32_t got[16] = {};
    EXPECT_EQ(getxattr(prefs().c_str(), "system.posix_acl_access", got, sizeof got),
              static_cast<ssize_t>(sizeof acl));
    EXPECT_EQ(std::memcmp(got, acl, sizeof acl), 0);
    EXPECT_EQ(read_file(prefs()), NEW);
}

// Another user's file that we may write, whose owner a new file could not keep: rewritten.
TEST_F(SaveTest, FileWhoseOwnerCannotBeKeptIsRewrittenInPlace)
{
    const ino_t before = inode_of(prefs());
    platform::testing::set_file_hook(
        [](FileStep step) { return step == FileStep::metadata ? EPERM : 0; });
    ASSERT_TRUE(config_save());
    EXPECT_EQ(inode_of(prefs()), before);
    EXPECT_EQ(read_file(prefs()), NEW);
    EXPECT_EQ(files(), 1);
}

TEST_F(SaveTest, TemporaryFileOfALiveWriterIsKept)
{
    const fs::path live = dir / ".Karthos.prefs.tmp1-0";
    write_file(live, "being written");
    const int held = open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    ASSERT_TRUE(config_save());
    close(held);
    EXPECT_TRUE(fs::exists(live));
    EXPECT_EQ(read_file(prefs()), NEW);
}

// SIGKILL at each step of a large save: the file old or new; no temporary one after a save.
TEST_F(SaveTest, KilledAtAnyStepLeavesTheOldOrTheNewFile)
{
    const std::string big(3 << 20, 'b');
    config_shut();
    int trials = 0;
    for (int kill_at = 1;; ++kill_at) {
        write_file(prefs(), OLD);
        const pid_t child = fork();
        if (child == 0) {
            platform::testing::set_file_hook([&, steps = 0](FileStep) mutable {
                return ++steps == kill_at ? raise(SIGKILL) : 0;
            });
            config_init();
            config_set_option("New", "k", big.c_str());
            _exit(config_save() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const std::string now = read_file(prefs());
        EXPECT_TRUE(now == OLD ||
                    now == "[Old]\n\n\tkept = exactly\n\n[New]\n\n\tk = " + big + "\n")
            << "killed at step " << kill_at << ": " << now.size() << " bytes";
        if (!WIFSIGNALED(status))
            break; // the save ran to its end
        ++trials;
        ASSERT_TRUE(config_init());
        ASSERT_TRUE(config_save());
        config_shut();
        EXPECT_EQ(files(), 1) << "after a kill at step " << kill_at;
    }
    EXPECT_GE(trials, 50);
}

// What is not a regular file of ours, or not where it can be written, is not replaced.
TEST_F(PrefsDirTest, RefusedReplacementsLeaveEverythingAsItWas)
{
    write_file(dir / "protected", "mine");
    fs::permissions(dir / "protected", fs::perms(0444)); // even root leaves it alone
    mkfifo((dir / "fifo").c_str(), 0644);
    fs::create_directory(dir / "sub");
    fs::create_symlink("fifo", dir / "link");
    const std::pair<fs::path, int> cases[] = {{dir / "protected", EACCES},
                                              {dir / "fifo", platform::FILE_NOT_REGULAR},
                                              {dir / "sub", platform::FILE_NOT_REGULAR},
                                              {dir / "link", platform::FILE_NOT_REGULAR},
                                              {dir / "gone" / "Karthos.prefs", ENOENT}};
    for (const auto &[target, error] : cases)
        EXPECT_EQ(platform::replace_file(target, "x", 1), error) << target;
    EXPECT_EQ(read_file(dir / "protected"), "mine");
    EXPECT_EQ(fs::status(dir / "protected").permissions(), fs::perms(0444));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(files(), 4);
}

TEST_F(PrefsDirTest, NoFileGivesAnEmptyStoreAndAnEmptyFileWithTheUmasksMode)
{
    const mode_t old_mask = umask(027);
    ASSERT_TRUE(config_init());
    const bool saved = config_save();
    umask(old_mask);
    ASSERT_TRUE(saved);
    EXPECT_EQ(fs::status(prefs()).permissions(), fs::perms(0640));
    EXPECT_EQ(read_file(prefs()), "");
    EXPECT_TRUE(log.messages().empty());
}

TEST_F(PrefsDirTest, SymbolicLinksAreKeptAndTheirTargetReplaced)
{
    fs::create_directory(dir / "real");
    write_file(dir / "real" / "target.prefs", "[S]\nk = 1\n");
    fs::create_symlink("real/target.prefs", prefs());
    ASSERT_TRUE(config_init());
    ASSERT_TRUE(config_set_option("S", "k", "2"));
    ASSERT_TRUE(config_save());
    EXPECT_TRUE(fs::is_symlink(prefs()));
    EXPECT_EQ(read_file(dir / "real" / "target.prefs"), "[S]\n\n\tk = 2\n");
}

} // namespace
