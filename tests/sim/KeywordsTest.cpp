// Recognising keywords in the host's byte stream.
#include <gtest/gtest.h>

#include "sim/Keywords.h"

namespace kavri::sim {
namespace {

std::vector<std::string> FeedAll(KeywordMatcher& matcher, const std::string& text,
                                 std::string* dropped = nullptr) {
    std::vector<std::string> found;
    std::vector<std::uint8_t> lost;
    for (char c : text) {
        if (auto m = matcher.Feed(static_cast<std::uint8_t>(c), &lost)) found.push_back(m->keyword);
    }
    if (dropped) dropped->assign(lost.begin(), lost.end());
    return found;
}

TEST(SimKeywordMatcher, EveryProtocolKeywordIsRecognisedOnItsLastByte) {
    // A keyword that waited for more bytes here would be the prefix of another one and
    // would need the inter-byte time-out to be told apart.
    for (const std::string& keyword : ProtocolKeywords()) {
        KeywordMatcher matcher;
        std::vector<std::string> found = FeedAll(matcher, keyword);
        ASSERT_EQ(found.size(), 1u) << keyword;
        EXPECT_EQ(found[0], keyword);
        EXPECT_EQ(matcher.Pending(), 0u);
    }
}

TEST(SimKeywordMatcher, NoiseIsDroppedAndTheNextFWIsKept) {
    KeywordMatcher matcher;
    std::string dropped;
    EXPECT_EQ(FeedAll(matcher, "\x01zzFWFWFILTER", &dropped), std::vector<std::string>{"FWFILTER"});
    EXPECT_EQ(dropped, "\x01zzFW");
    // A fragment cut short by a new command does not swallow the command.
    EXPECT_EQ(FeedAll(matcher, "FWgoFoFWfocusFWCOUFWCOUNT"),
              (std::vector<std::string>{"FWfocus", "FWCOUNT"}));
    EXPECT_EQ(FeedAll(matcher, "FWfocusFWgoFocus"),
              (std::vector<std::string>{"FWfocus", "FWgoFocus"}));
    // Case matters: "FWFOCUS" is not a keyword.
    EXPECT_TRUE(FeedAll(matcher, "FWFOCUS").empty());
}

TEST(SimKeywordMatcher, KeywordThatPrefixesAnotherWaitsForTheNextByte) {
    KeywordMatcher matcher({"FWgo", "FWgoFar"});
    EXPECT_TRUE(FeedAll(matcher, "FWgo").empty());
    EXPECT_TRUE(matcher.WaitingToExtend());
    auto longer = matcher.Feed('F');
    EXPECT_FALSE(longer);  // still on the way to "FWgoFar"
    EXPECT_EQ(FeedAll(matcher, "ar"), std::vector<std::string>{"FWgoFar"});

    // A byte that extends nothing ends the short keyword and becomes its argument.
    FeedAll(matcher, "FWgo");
    auto shorter = matcher.Feed('7');
    ASSERT_TRUE(shorter);
    EXPECT_EQ(shorter->keyword, "FWgo");
    EXPECT_EQ(shorter->leftover, std::vector<std::uint8_t>{'7'});

    // Silence after the short keyword: the time-out takes it as it stands.
    FeedAll(matcher, "FWgo");
    auto flushed = matcher.Flush();
    ASSERT_TRUE(flushed);
    EXPECT_EQ(flushed->keyword, "FWgo");
    EXPECT_FALSE(matcher.Flush());  // nothing left
    // An incomplete fragment is not taken on a time-out.
    FeedAll(matcher, "FWg");
    EXPECT_FALSE(matcher.Flush());
}

}  // namespace
}  // namespace kavri::sim
