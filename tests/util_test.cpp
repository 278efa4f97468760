// The error requester's formatting rules.
#include "test_support.h"

#include <cstring>

namespace {

TEST(ErrorRequester, ShowsTheFormattedMessageCutAt4095Characters)
{
    MessageLog log;
    const std::string exact(4095, 'a'), longer = std::string(4095, 'b') + "tail";
    const std::pair<std::string, std::string> cases[] = {
        {"Unable to open '%s', version %ld+", "Unable to open 'intuition.library', version 51+"},
        {"100%% sure", "100% sure"},
        {exact, exact},
        {longer, longer.substr(0, 4095)}};
    for (const auto &[format, shown] : cases) {
        log.clear();
        EXPECT_TRUE(error_requestf(format.c_str(), "intuition.library", 51L)) << format;
        EXPECT_EQ(log.messages(), std::vector<std::string>{shown});
    }
}

TEST(ErrorRequester, NothingIsShownWithoutARequesterOrAfterAFormattingError)
{
    std::memset(tmptxt, 'z', sizeof tmptxt);
    EXPECT_FALSE(error_requestf("Out of %s", "memory"));
    EXPECT_EQ(std::string(tmptxt, sizeof tmptxt), std::string(sizeof tmptxt, 'z')); // untouched
    MessageLog log;
    // A lone surrogate cannot be converted to a multibyte string: vsnprintf fails.
    const wchar_t bad[] = {static_cast<wchar_t>(0xD800), 0};
    EXPECT_FALSE(error_requestf("%ls", bad));
    EXPECT_TRUE(log.messages().empty());
    log.shown = false; // a requester that could not be made
    EXPECT_FALSE(error_requestf("Out of memory"));
}

} // namespace
