#pragma once
// The wire time of a serial line, so that the simulated card answers no faster than a real
// card at 115200 baud: ten bit times per byte (start, eight data bits, stop), each direction
// busy on its own.

#include <chrono>
#include <cstddef>

constexpr long long LINE_BAUD = 115200;
constexpr long long BITS_PER_BYTE = 10;

std::chrono::nanoseconds WireTime(std::size_t bytes);

struct LinePacer {
    bool enabled = false;
    std::chrono::steady_clock::time_point receive_free{};
    std::chrono::steady_clock::time_point send_free{};
};

// When the last of `bytes` bytes, read at `now`, has come in over the line.
std::chrono::steady_clock::time_point ReceivedAt(LinePacer& pacer, std::size_t bytes,
                                                 std::chrono::steady_clock::time_point now);
// When the last of `bytes` bytes, handed to the line at `now`, has gone out.
std::chrono::steady_clock::time_point SentAt(LinePacer& pacer, std::size_t bytes,
                                             std::chrono::steady_clock::time_point now);
// Sleeps until `when` on the monotonic clock.
void SleepUntil(std::chrono::steady_clock::time_point when);
