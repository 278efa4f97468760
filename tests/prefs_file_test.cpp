// Reading and writing "Karthos.prefs": the reader's rules, the writer's exact bytes,
// and a save that never destroys the old file when anything goes wrong.
#include "configfile.h"
#include "test_support.h"

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

using platform::MemKind;
using platform::testing::FileStep;

namespace {

using PrefsFileTest = PrefsDirTest;

TEST_F(PrefsFileTest, WorkedExampleComesOutByteForByte)
{
    const std::string in = "Version = 2\n"
                           "[Config]\n"
                           "Language = english\n"
                           "  Windowed=1\n"
                           "ShowFPS   =   1\n"
                           "\tVideocard = Vexel\n"
                           "\n"
                           "[config]\n"
                           "SyncToScreen = 0\n"
                           "some free text\n"
                           "[Warp3D] display\n"
                           "Size = 640x480\n";
    EXPECT_EQ(round_trip(in), "[Config]\n"
                              "\n"
                              "\tLanguage = english\n"
                              "\tShowFPS = 1\n"
                              "\tVideocard = Vexel\n"
                              "\tSyncToScreen = 0\n"
                              "\n"
                              "[Warp3D]\n"
                              "\n"
                              "\tSize = 640x480\n");
    EXPECT_TRUE(log.messages().empty());
}

TEST_F(PrefsFileTest, NoFileGivesAnEmptyStoreAndAnEmptyFile)
{
    ASSERT_TRUE(config_init());
    ASSERT_TRUE(config_save());
    EXPECT_TRUE(fs::exists(prefs()));
    EXPECT_EQ(fs::file_size(prefs()), 0u);
    EXPECT_TRUE(log.messages().empty());
}

struct Reading {
    std::string in, out;
};

class ReaderRulesTest : public PrefsDirTest, public ::testing::WithParamInterface<Reading> {};

TEST_P(ReaderRulesTest, LoadedAndSavedAgain)
{
    EXPECT_EQ(round_trip(GetParam().in), GetParam().out);
}

const char NUL_IN_LINE[] = "[\xE9t\xE9]\nn = a\0b\nlast = x"; // and no final line feed

INSTANTIATE_TEST_SUITE_P(
    Rules, ReaderRulesTest,
    ::testing::Values(
        Reading{"[A]\r\nk = v\r\n\r\nx = y\r\r\n", "[A]\n\n\tk = v\n\tx = y\n"},
        // Option lines: trailing blanks kept, an empty value, a key glued to its "=" is
        // dropped, a value glued to it is not, "=" in keys and values, lines without "=".
        Reading{"[S]\ntrailing = kept \t \nempty =\nglued= no\ntight =value\na=b = c = d\n"
                "nokey\n   = not a key\nkey only\n  [Indented] = an option\n  [Indented]\n"
                "TIGHT = replaced in place\n",
                "[S]\n\n\ttrailing = kept \t \n\tempty = \n\ttight = replaced in place\n"
                "\ta=b = c = d\n\t[Indented] = an option\n"},
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

TEST_F(PrefsFileTest, NoMemoryWhileLoadingLosesOnlyThatPart)
{
    write_file(prefs(), "[A]\none = 1\ntwo = 2\nthree = 3\n[B]\nb = 1\n[C]\nc = 1\n");
    {
        AllocFailure fail_two(MemKind::buffer, 2); // the value of "two"
        ASSERT_TRUE(config_init());
    }
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Out of memory"});
    EXPECT_STREQ(config_get_option("A", "three", nullptr), "3");
    EXPECT_EQ(config_get_option("A", "two", nullptr), nullptr);
    config_shut();

    {
        AllocFailure fail_b(MemKind::node, 5); // A, one, two, three, then section B
        ASSERT_TRUE(config_init());
    }
    EXPECT_EQ(log.messages().size(), 2u);
    EXPECT_EQ(config_get_option("B", "b", nullptr), nullptr);
    EXPECT_EQ(config_get_option("A", "b", nullptr), nullptr); // not in the section before
    EXPECT_STREQ(config_get_option("C", "c", nullptr), "1");
    ASSERT_TRUE(config_save());
    EXPECT_EQ(read_file(prefs()), "[A]\n\n\tone = 1\n\ttwo = 2\n\tthree = 3\n\n[C]\n\n\tc = 1\n");
}

// --- Saving safely ---------------------------------------------------------------

class SaveFailureTest : public PrefsDirTest {
  protected:
    static constexpr const char *OLD = "[Old]\nkept = exactly\n";

    void SetUp() override
    {
        PrefsDirTest::SetUp();
        write_file(prefs(), OLD);
        fs::permissions(prefs(), fs::perms(0640));
        ASSERT_TRUE(config_init());
        ASSERT_TRUE(config_set_option("New", "value", std::string(10000, 'n').c_str()));
    }

    // The save failed as a whole: the user was told, the old file is untouched and
    // no temporary file is left behind.
    void expect_failed_save_left_old_file()
    {
        EXPECT_FALSE(config_save());
        EXPECT_EQ(log.messages(), std::vector<std::string>{"Unable to create Karthos.prefs"});
        EXPECT_EQ(read_file(prefs()), OLD);
        EXPECT_EQ(fs::status(prefs()).permissions(), fs::perms(0640));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }

    [[noreturn]] void save_with_file_size_limit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        expect_failed_save_left_old_file();
        std::exit(::testing::Test::HasFailure() ? 1 : 0);
    }
};

TEST_F(SaveFailureTest, EachStepOfTheReplacementCanFail)
{
    for (FileStep step : {FileStep::create, FileStep::write, FileStep::sync, FileStep::rename}) {
        SCOPED_TRACE(static_cast<int>(step));
        log.clear();
        platform::testing::set_file_fault(step);
        expect_failed_save_left_old_file();
    }
}

TEST_F(SaveFailureTest, FullDiskKeepsTheOldFile)
{
    // A real write error through the real code path: the file size limit makes the
    // system refuse the write as a full disk would. In a child, so the limit stays there.
    EXPECT_EXIT(save_with_file_size_limit(100), ::testing::ExitedWithCode(0), "");
}

TEST_F(SaveFailureTest, ProgramDirectoryThatCannotBeWritten)
{
    platform::testing::set_program_dir((dir / "gone").string());
    EXPECT_FALSE(config_save());
    platform::testing::set_program_dir("/proc/self");
    EXPECT_FALSE(config_save());
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"Unable to create Karthos.prefs",
                                                        "Unable to create Karthos.prefs"}));
    EXPECT_EQ(read_file(prefs()), OLD);
}

TEST_F(PrefsFileTest, PrefsThatIsADirectoryIsNeitherReadNorReplaced)
{
    fs::create_directory(prefs());
    write_file(prefs() / "inside", "x");
    ASSERT_TRUE(config_init());
    ASSERT_TRUE(config_set_option("S", "k", "v"));
    EXPECT_FALSE(config_save());
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Unable to create Karthos.prefs"});
    EXPECT_EQ(read_file(prefs() / "inside"), "x");
}

TEST_F(PrefsFileTest, SaveKeepsPermissionsANewFileTakesTheUmask)
{
    const mode_t old_mask = umask(027);
    ASSERT_TRUE(config_init());
    const bool saved = config_save();
    umask(old_mask);
    ASSERT_TRUE(saved);
    EXPECT_EQ(fs::status(prefs()).permissions(), fs::perms(0640));
    config_shut();
    fs::permissions(prefs(), fs::perms(0604));
    EXPECT_EQ(round_trip("[S]\nk = 2\n"), "[S]\n\n\tk = 2\n");
    EXPECT_EQ(fs::status(prefs()).permissions(), fs::perms(0604));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(PrefsFileTest, SymbolicLinksAreKeptAndTheirTargetReplaced)
{
    fs::create_directory(dir / "real");
    write_file(dir / "real" / "target.prefs", "[S]\nk = 1\n");
    fs::create_symlink("real/target.prefs", prefs());
    ASSERT_TRUE(config_init());
    ASSERT_TRUE(config_set_option("S", "k", "2"));
    ASSERT_TRUE(config_save());
    EXPECT_TRUE(fs::is_symlink(prefs()));
    EXPECT_EQ(read_file(dir / "real" / "target.prefs"), "[S]\n\n\tk = 2\n");
    config_shut();

    // A link whose target does not exist yet: the target is created.
    fs::remove(prefs());
    fs::create_symlink(dir / "real" / "new.prefs", prefs());
    ASSERT_TRUE(config_init());
    ASSERT_TRUE(config_save());
    EXPECT_TRUE(fs::is_symlink(prefs()));
    EXPECT_TRUE(fs::exists(dir / "real" / "new.prefs"));
}

} // namespace
