// The preferences store in memory: names, order, value buffers, numbers, and what
// an allocation failure at each step leaves behind.
#include "configfile.h"
#include "test_support.h"

#include <climits>
#include <cstring>

using platform::MemKind;

namespace {

class StoreTest : public PrefsDirTest {
  protected:
    void SetUp() override
    {
        PrefsDirTest::SetUp();
        ASSERT_TRUE(config_init()); // no file: an empty store
    }

    // What the store holds, in the file's layout.
    std::string saved()
    {
        EXPECT_TRUE(config_save());
        return read_file(prefs());
    }
};

TEST_F(StoreTest, NamesMatchInAnyCaseAndKeepTheirFirstForm)
{
    ASSERT_TRUE(config_set_option("Config", "ShowFPS", "1"));
    EXPECT_STREQ(config_get_option("config", "showfps", nullptr), "1");
    EXPECT_STREQ(config_get_option("CONFIG", "SHOWFPS", "x"), "1");

    ASSERT_TRUE(config_set_option("CONFIG", "SHOWfps", "0"));
    EXPECT_EQ(saved(), "[Config]\n\n\tShowFPS = 0\n");
}

TEST_F(StoreTest, CaseFoldingIsAsciiOnly)
{
    // Latin-1 and UTF-8 letters are distinct bytes, not case variants.
    ASSERT_TRUE(config_set_option("\xC4", "k", "upper"));
    ASSERT_TRUE(config_set_option("\xE4", "k", "lower"));
    ASSERT_TRUE(config_set_option("S", "\xC3\x84", "1"));
    ASSERT_TRUE(config_set_option("S", "\xC3\xA4", "2"));
    EXPECT_STREQ(config_get_option("\xC4", "K", nullptr), "upper");
    EXPECT_STREQ(config_get_option("\xE4", "K", nullptr), "lower");
    EXPECT_EQ(saved(), "[\xC4]\n\n\tk = upper\n\n[\xE4]\n\n\tk = lower\n\n"
                       "[S]\n\n\t\xC3\x84 = 1\n\t\xC3\xA4 = 2\n");
}

TEST_F(StoreTest, CreationOrderSurvivesUpdates)
{
    for (const char *key : {"b", "a", "c"}) ASSERT_TRUE(config_set_option("S2", key, key));
    ASSERT_TRUE(config_set_option("S1", "x", "1"));
    ASSERT_TRUE(config_set_option("s2", "B", "updated, and much longer than it was before"));
    EXPECT_EQ(saved(), "[S2]\n\n\tb = updated, and much longer than it was before\n\ta = a\n"
                       "\tc = c\n\n[S1]\n\n\tx = 1\n");
}

TEST_F(StoreTest, ManyNamesStayOrderedAndFindable)
{
    // Enough sections and options to take the store past short linear lists.
    std::string expected;
    for (int s = 0; s < 40; ++s) {
        const std::string section = "Sec" + std::to_string(s);
        expected += (s ? "\n[" : "[") + section + "]\n\n";
        for (int k = 0; k < 300; ++k) {
            const std::string key = "Key" + std::to_string(k);
            ASSERT_TRUE(config_set_option(section.c_str(), key.c_str(), key.c_str()));
            expected += "\t" + key + " = " + key + "\n";
        }
    }
    EXPECT_STREQ(config_get_option("SEC39", "key299", nullptr), "Key299");
    EXPECT_STREQ(config_get_option("sec0", "KEY0", nullptr), "Key0");
    EXPECT_EQ(config_get_option("sec0", "Key300", "absent"), std::string("absent"));
    EXPECT_EQ(saved(), expected);
}

TEST_F(StoreTest, ValueBuffersGrowOnlyWhenTheTextDoesNotFit)
{
    AllocRecorder buffers(MemKind::buffer);
    ASSERT_TRUE(config_set_option("S", "k", "abc"));
    ASSERT_EQ(buffers.sizes(), std::vector<std::size_t>{67});
    const char *first = config_get_option("S", "k", nullptr);

    const std::string fits(66, 'f');
    ASSERT_TRUE(config_set_option("S", "k", fits.c_str()));
    EXPECT_EQ(config_get_option("S", "k", nullptr), first); // updated in place
    EXPECT_EQ(buffers.sizes().size(), 1u);

    const std::string too_long(67, 'g');
    ASSERT_TRUE(config_set_option("S", "k", too_long.c_str()));
    EXPECT_EQ(buffers.sizes(), (std::vector<std::size_t>{67, 131}));
    EXPECT_EQ(config_get_option("S", "k", nullptr), too_long);

    ASSERT_TRUE(config_set_option("S", "k", "x")); // buffers never shrink
    EXPECT_EQ(buffers.sizes().size(), 2u);

    ASSERT_TRUE(config_set_option("S", "empty", ""));
    EXPECT_EQ(buffers.sizes().back(), 64u);
    EXPECT_STREQ(config_get_option("S", "empty", nullptr), "");
}

TEST_F(StoreTest, ReadsNeverCreateAnything)
{
    EXPECT_EQ(config_get_option("Missing", "key", nullptr), nullptr);
    EXPECT_STREQ(config_get_option("Missing", "key", "default"), "default");
    EXPECT_EQ(config_get_int("Missing", "key", 42), 42);
    ASSERT_TRUE(config_set_option("Present", "a", "1"));
    EXPECT_EQ(config_get_int("Present", "b", -3), -3);
    EXPECT_EQ(saved(), "[Present]\n\n\ta = 1\n");
}

TEST_F(StoreTest, IntegersFollowTheAtoiRule)
{
    const std::pair<const char *, int32> cases[] = {
        {"", 0},
        {"abc", 0},
        {"12abc", 12},
        {" -7", -7},
        {"+5", 5},
        {"\t\n\v\f\r 9", 9},
        {"007", 7},
        {"- 3", 0},
        {"0x1F", 0},
        {"1e3", 1},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"99999999999999999999", INT_MAX},
        {"-99999999999999999999", INT_MIN},
    };
    for (const auto &[text, value] : cases) {
        ASSERT_TRUE(config_set_option("N", "k", text));
        EXPECT_EQ(config_get_int("n", "K", 1234), value) << "text: \"" << text << '"';
    }
}

TEST_F(StoreTest, IntegersAreStoredAsPlainDecimal)
{
    ASSERT_TRUE(config_set_int("N", "neg", -5));
    ASSERT_TRUE(config_set_int("N", "zero", 0));
    ASSERT_TRUE(config_set_int("N", "min", INT_MIN));
    ASSERT_TRUE(config_set_int("N", "max", INT_MAX));
    EXPECT_EQ(saved(), "[N]\n\n\tneg = -5\n\tzero = 0\n\tmin = -2147483648\n\tmax = 2147483647\n");
}

TEST_F(StoreTest, EmptyNamesAreNamesLikeAnyOther)
{
    ASSERT_TRUE(config_set_option("", "", ""));
    EXPECT_STREQ(config_get_option("", "", nullptr), "");
    EXPECT_EQ(saved(), "[]\n\n\t = \n");
}

// Each allocation the store makes, failing in turn: the user hears "Out of memory"
// once, the write fails, and the store keeps exactly what the failure leaves.
TEST_F(StoreTest, NoMemoryForASectionLeavesTheStoreUnchanged)
{
    {
        AllocFailure fail(MemKind::node, 1);
        EXPECT_FALSE(config_set_option("New", "k", "v"));
    }
    {
        AllocFailure fail(MemKind::list, 1);
        EXPECT_FALSE(config_set_int("New", "k", 1));
    }
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"Out of memory", "Out of memory"}));
    EXPECT_EQ(config_get_option("New", "k", nullptr), nullptr);
    EXPECT_EQ(saved(), "");
}

TEST_F(StoreTest, NoMemoryForAnOptionKeepsTheNewSectionEmpty)
{
    {
        AllocFailure fail(MemKind::node, 2); // the section is the first node
        EXPECT_FALSE(config_set_option("First", "k", "v"));
    }
    {
        AllocFailure fail(MemKind::buffer, 1);
        EXPECT_FALSE(config_set_option("Second", "k", "v"));
    }
    EXPECT_EQ(log.messages().size(), 2u);
    EXPECT_EQ(config_get_option("Second", "k", nullptr), nullptr);
    EXPECT_EQ(saved(), "[First]\n\n\n[Second]\n\n");
}

TEST_F(StoreTest, NoMemoryForALargerBufferKeepsTheOldValue)
{
    ASSERT_TRUE(config_set_option("S", "k", "old"));
    {
        AllocFailure fail(MemKind::buffer, 0);
        EXPECT_FALSE(config_set_option("S", "k", std::string(100, 'n').c_str()));
        EXPECT_TRUE(config_set_option("S", "k", "fits")); // in place, needs no memory
    }
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Out of memory"});
    EXPECT_STREQ(config_get_option("S", "k", nullptr), "fits");
}

TEST_F(StoreTest, FailedWritesAreNotReportedTwice)
{
    AllocFailure fail(MemKind::node, 0);
    EXPECT_FALSE(config_set_option("A", "k", "v"));
    EXPECT_FALSE(config_set_option("A", "k2", "v"));
    EXPECT_EQ(log.messages().size(), 2u); // one per failed write, none for the lookups
}

TEST(StoreLifetime, ShutWithoutInitAndTwiceIsHarmless)
{
    config_shut();
    config_shut();
    TempDir dir;
    platform::testing::set_program_dir(dir.path().string());
    ASSERT_TRUE(config_init());
    ASSERT_TRUE(config_set_option("S", "k", "v"));
    config_shut();
    config_shut();
    platform::testing::set_program_dir(std::nullopt);
}

TEST(StoreLifetime, NoMemoryForTheSectionList)
{
    MessageLog log;
    AllocFailure fail(MemKind::list, 1);
    EXPECT_FALSE(config_init());
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Out of memory"});
    config_shut(); // nothing to release
}

} // namespace
