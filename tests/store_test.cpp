// The store in memory: names, order, value buffers, numbers, and allocation failures.
#include "test_support.h"

#include <climits>

using platform::MemKind;

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

} // namespace
