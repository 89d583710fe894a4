// Fault settings of the simulated card and the requests they strike.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simcard/card_faults.h"

namespace {

CardFault Parse(const char* text) {
    std::string why;
    const std::optional<CardFault> fault = ParseCardFault(text, &why);
    EXPECT_TRUE(fault.has_value()) << text << ": " << why;
    return fault.value_or(CardFault{});
}

// Which of the first `requests` requests the fault `text` drops.
std::vector<int> DroppedRequests(const char* text, int requests) {
    FaultSchedule schedule({Parse(text)});
    std::vector<int> dropped;
    for (int n = 1; n <= requests; ++n) {
        if (schedule.Next().drop) {
            dropped.push_back(n);
        }
    }
    return dropped;
}

}  // namespace

TEST(CardFaults, SettingsAreParsedAndBadOnesRefusedWithAReason) {
    const CardFault delay = Parse("delay:ms=3500,at=4,times=2");
    EXPECT_EQ(delay.kind, CardFaultKind::DelayReply);
    EXPECT_EQ(delay.delay_ms, 3500);
    EXPECT_EQ(delay.first_request, 4);
    EXPECT_EQ(delay.times, 2);
    EXPECT_EQ(Parse("error").times, 1);
    EXPECT_EQ(Parse("joined").times, 0);  // every request unless told otherwise
    EXPECT_EQ(Parse("corrupt:rate=0.25,seed=9").seed, 9u);

    for (const char* bad : {"", "explode", "drop:", "drop:at=0", "drop:at=x", "drop:rate=1.5",
                            "drop:colour=red", "delay:ms=-1", "drop:times=2,", "drop:at"}) {
        std::string why;
        EXPECT_FALSE(ParseCardFault(bad, &why).has_value()) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}

TEST(CardFaults, StrikeTheRequestsTheirSettingsAndSeedChoose) {
    EXPECT_EQ(DroppedRequests("drop:at=3", 6), (std::vector<int>{3}));
    EXPECT_EQ(DroppedRequests("drop:at=2,times=3", 8), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(DroppedRequests("drop:at=5,times=0", 7), (std::vector<int>{5, 6, 7}));
    EXPECT_EQ(DroppedRequests("silent:at=2", 6), (std::vector<int>{2, 3, 4, 5, 6}));

    // A rate picks the same requests for the same seed, and other ones for another seed.
    const std::vector<int> first = DroppedRequests("drop:rate=0.3,times=0,seed=7", 200);
    EXPECT_EQ(first, DroppedRequests("drop:rate=0.3,times=0,seed=7", 200));
    EXPECT_NE(first, DroppedRequests("drop:rate=0.3,times=0,seed=8", 200));
    EXPECT_GT(first.size(), 40u);
    EXPECT_LT(first.size(), 80u);

    // A corrupted byte is always one the check byte covers, and always changed.
    FaultSchedule corrupt({Parse("corrupt:times=0,seed=3")});
    for (int n = 0; n < 500; ++n) {
        const StruckFaults struck = corrupt.Next();
        ASSERT_TRUE(struck.corrupt);
        EXPECT_GE(struck.corrupt_index, 1);
        EXPECT_LE(struck.corrupt_index, 54);
        EXPECT_NE(struck.corrupt_mask, 0);
    }

    FaultSchedule combined({Parse("error:at=2"), Parse("delay:ms=40,at=2"), Parse("joined")});
    const StruckFaults plain = combined.Next();
    EXPECT_TRUE(plain.joined);
    EXPECT_FALSE(plain.answer_error);
    const StruckFaults second = combined.Next();
    EXPECT_TRUE(second.answer_error);
    EXPECT_EQ(second.delay_ms, 40);
}
