// The parser's character classes and the error requester's formatting rules.
#include "test_support.h"
#include "util.h"

#include <cstring>

namespace {

TEST(CharacterClasses, MatchExactlyTheirBytes)
{
    for (int c = 0; c < 256; ++c) {
        const TEXT t = static_cast<TEXT>(c);
        EXPECT_EQ(isws(t), c == ' ' || c == '\t') << c;
        EXPECT_EQ(iseol(t), c == 0 || c == '\n' || c == '\r') << c;
    }
}

TEST(ErrorRequester, WithoutARequesterNothingIsShownAndTmptxtIsUntouched)
{
    std::memset(tmptxt, 'z', sizeof tmptxt);
    EXPECT_FALSE(error_requestf("Out of %s", "memory"));
    for (TEXT c : tmptxt) ASSERT_EQ(c, 'z');
}

TEST(ErrorRequester, ShowsTheFormattedMessage)
{
    MessageLog log;
    EXPECT_TRUE(error_requestf("Out of memory"));
    EXPECT_TRUE(error_requestf("Unable to open '%s', version %ld+", "intuition.library", 51L));
    EXPECT_TRUE(error_requestf("100%% sure"));
    EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                  "Out of memory",
                                  "Unable to open 'intuition.library', version 51+", "100% sure"}));
}

TEST(ErrorRequester, LongMessagesAreCutAt4095Characters)
{
    MessageLog log;
    const std::string exact(4095, 'a');
    const std::string longer = std::string(4095, 'b') + "tail";
    EXPECT_TRUE(error_requestf("%s", exact.c_str()));
    EXPECT_TRUE(error_requestf("%s", longer.c_str()));
    ASSERT_EQ(log.messages().size(), 2u);
    EXPECT_EQ(log.messages()[0], exact);
    EXPECT_EQ(log.messages()[1], longer.substr(0, 4095));
}

TEST(ErrorRequester, AFormattingErrorShowsNothing)
{
    MessageLog log;
    // A lone surrogate cannot be converted to a multibyte string: vsnprintf fails.
    const wchar_t bad[] = {static_cast<wchar_t>(0xD800), 0};
    EXPECT_FALSE(error_requestf("%ls", bad));
    EXPECT_TRUE(log.messages().empty());
}

TEST(ErrorRequester, AFailingRequesterIsReported)
{
    platform::testing::set_requester_hook([](std::string_view, std::string_view) { return false; });
    EXPECT_FALSE(error_requestf("Out of memory"));
    platform::testing::set_requester_hook(nullptr);
}

} // namespace
