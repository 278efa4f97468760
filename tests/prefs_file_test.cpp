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
    EXPECT_EQ(config_get_option("Config", "Language", nullptr), nullptr);
    ASSERT_TRUE(config_save());
    EXPECT_TRUE(fs::exists(prefs()));
    EXPECT_EQ(fs::file_size(prefs()), 0u);
    EXPECT_TRUE(log.messages().empty());
}

TEST_F(PrefsFileTest, CrLfReadsLikeLf)
{
    EXPECT_EQ(round_trip("[A]\r\nk = v\r\n\r\nx = y\r\r\n"), "[A]\n\n\tk = v\n\tx = y\n");
}

TEST_F(PrefsFileTest, OptionLineRules)
{
    const std::string in = "[S]\n"
                           "trailing = spaces kept \t \n"
                           "empty =\n"
                           "glued= dropped\n"
                           "tight =value\n"
                           "a=b = key holds the first equals sign\n"
                           "k = later = signs belong to the value\n"
                           "nokey\n"
                           "   = not a key\n"
                           "key only   \n"
                           "  [Indented] = header read as an option\n"
                           "  [Indented]\n"
                           "TIGHT = replaces the value in place\n";
    EXPECT_EQ(round_trip(in), "[S]\n\n"
                              "\ttrailing = spaces kept \t \n"
                              "\tempty = \n"
                              "\ttight = replaces the value in place\n"
                              "\ta=b = key holds the first equals sign\n"
                              "\tk = later = signs belong to the value\n"
                              "\t[Indented] = header read as an option\n");
}

TEST_F(PrefsFileTest, HeaderRules)
{
    const std::string in = "k = before any header\n"
                           "[]\n"
                           "in = empty name\n"
                           "[Unclosed\n"
                           "still = in the empty-named section\n"
                           "[With Space] trailing words\n"
                           "[Empty]\n"
                           "[a]b]\n"
                           "x = 1\n"
                           "[WITH SPACE]\n"
                           "y = 2\n";
    EXPECT_EQ(round_trip(in), "[]\n\n\tin = empty name\n\tstill = in the empty-named section\n\n"
                              "[With Space]\n\n\ty = 2\n\n"
                              "[Empty]\n\n\n"
                              "[a]\n\n\tx = 1\n");
}

TEST_F(PrefsFileTest, LastSectionWithoutOptionsEndsWithItsBlankLine)
{
    EXPECT_EQ(round_trip("[A]\nk = v\n[B]\n"), "[A]\n\n\tk = v\n\n[B]\n\n");
}

TEST_F(PrefsFileTest, NoFinalLineFeedAndOddBytes)
{
    // High bytes pass through; text after a NUL byte on a line is not read.
    const char raw[] = "[\xE9t\xE9]\nnom = caf\xC3\xA9\nn = a\0b\nlast = x";
    EXPECT_EQ(round_trip(std::string(raw, sizeof raw - 1)),
              "[\xE9t\xE9]\n\n\tnom = caf\xC3\xA9\n\tn = a\n\tlast = x\n");
}

TEST_F(PrefsFileTest, LongLinesAreReadWhole)
{
    const std::string long_value(100000, 'v');
    const std::string exact = std::string(4095 - 4, 'e'); // "k = " plus this is 4095 bytes
    const std::string in = "[S]\nlong = " + long_value + "\nk = " + exact + "\nafter = 1\n";
    EXPECT_EQ(round_trip(in),
              "[S]\n\n\tlong = " + long_value + "\n\tk = " + exact + "\n\tafter = 1\n");
    EXPECT_EQ(std::strlen(config_get_option("S", "long", "")), long_value.size());
}

TEST_F(PrefsFileTest, SavingIsAFixedPoint)
{
    const std::string once = round_trip("[B]\n x = 1\n[a]\ny\t=\t2 \n[b]\nX = 3\n");
    config_shut();
    EXPECT_EQ(round_trip(once), once);
}

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

TEST_F(PrefsFileTest, PrefsFileIsFoundInTheProgramDirectoryOnly)
{
    write_file(dir / "Karthos.prefs", "[InProgramDir]\n");
    TempDir other;
    write_file(other / "Karthos.prefs", "[Elsewhere]\n");
    const fs::path cwd = fs::current_path();
    fs::current_path(other.path());
    EXPECT_TRUE(config_init());
    EXPECT_TRUE(config_save());
    fs::current_path(cwd);
    EXPECT_EQ(read_file(prefs()), "[InProgramDir]\n\n");
    EXPECT_EQ(read_file(other / "Karthos.prefs"), "[Elsewhere]\n");
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

TEST_F(PrefsFileTest, SaveKeepsPermissionsAndLeavesNoTemporaryFile)
{
    write_file(prefs(), "[S]\nk = 1\n");
    fs::permissions(prefs(), fs::perms(0604));
    EXPECT_EQ(round_trip("[S]\nk = 2\n"), "[S]\n\n\tk = 2\n");
    EXPECT_EQ(fs::status(prefs()).permissions(), fs::perms(0604));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(PrefsFileTest, NewFileTakesTheUmask)
{
    const mode_t old_mask = umask(027);
    ASSERT_TRUE(config_init());
    const bool saved = config_save();
    umask(old_mask);
    ASSERT_TRUE(saved);
    EXPECT_EQ(fs::status(prefs()).permissions(), fs::perms(0640));
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
