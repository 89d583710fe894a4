#pragma once
// Repeated log lines, limited: a client that opens garbage connections by the thousand
// must not fill the disk through standard error. Lines are of one kind when they differ
// only in the client's address ("rejected 10.0.0.7: not a message"); each kind may print
// LOG_LINES_PER_KIND lines a second, and what is left out is counted in one line after.

#include <chrono>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

constexpr int LOG_LINES_PER_KIND = 10;
// Kinds remembered at most; all are forgotten when more come.
constexpr std::size_t LOG_KINDS_MAX = 1000;

class LogLimit {
  public:
    using Clock = std::chrono::steady_clock;
    // The lines to print for `line` now: none, the line, or a count of what was left out
    // of an earlier second, then the line.
    std::vector<std::string> Admit(const std::string& line, Clock::time_point now);

  private:
    struct Kind {
        Clock::time_point second_began;
        int printed = 0;
        long long left_out = 0;
    };
    std::unordered_map<std::string, Kind> kinds_;
};

// "verb ADDRESS: rest" (an IPv4 or IPv6 address) as "verb: rest"; other lines as they are.
std::string LogKind(const std::string& line);
