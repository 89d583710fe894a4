// Repeated log lines: ten of a kind a second, the rest counted in one line after.

#include "log_limit.h"

#include <gtest/gtest.h>

TEST(LogLimit, TenLinesOfAKindASecondAndACountOfTheRest) {
    LogLimit limit;
    const LogLimit::Clock::time_point start{};
    std::vector<std::string> printed;
    const auto log = [&](const std::string& line, int ms) {
        for (const std::string& p : limit.Admit(line, start + std::chrono::milliseconds(ms))) {
            printed.push_back(p);
        }
    };
    for (int k = 0; k < 100; ++k) {
        log("rejected 10.0.0." + std::to_string(k) + ": not a message", 1000 + k);
        log("stored upload from 10.0.0.1: serial " + std::to_string(k) + ", 10 readings", 1000 + k);
    }
    EXPECT_EQ(printed.size(), 100u + 10u);
    EXPECT_EQ(printed[0], "rejected 10.0.0.0: not a message");
    printed.clear();
    log("rejected 10.0.0.200: not a message", 1999);
    EXPECT_TRUE(printed.empty());
    log("rejected 10.0.0.201: not a message", 2000);
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[0], "(91 more lines like \"rejected: not a message\" left out)");
    EXPECT_EQ(printed[1], "rejected 10.0.0.201: not a message");
    EXPECT_EQ(LogKind("cannot create an epoll instance: Too many open files"),
              "cannot create an epoll instance: Too many open files");
    EXPECT_EQ(LogKind("dropped ::ffff:10.0.0.1: silent too long"), "dropped: silent too long");
}
