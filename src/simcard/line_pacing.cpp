#include "simcard/line_pacing.h"

#include <time.h>

#include <algorithm>
#include <cerrno>

std::chrono::nanoseconds WireTime(std::size_t bytes) {
    const long long bits = static_cast<long long>(bytes) * BITS_PER_BYTE;
    return std::chrono::nanoseconds(bits * 1'000'000'000LL / LINE_BAUD);
}

std::chrono::steady_clock::time_point ReceivedAt(LinePacer& pacer, std::size_t bytes,
                                                 std::chrono::steady_clock::time_point now) {
    if (!pacer.enabled) {
        return now;
    }
    pacer.receive_free = std::max(now, pacer.receive_free) + WireTime(bytes);
    return pacer.receive_free;
}

std::chrono::steady_clock::time_point SentAt(LinePacer& pacer, std::size_t bytes,
                                             std::chrono::steady_clock::time_point now) {
    if (!pacer.enabled) {
        return now;
    }
    pacer.send_free = std::max(now, pacer.send_free) + WireTime(bytes);
    return pacer.send_free;
}

void SleepUntil(std::chrono::steady_clock::time_point when) {
    // steady_clock is CLOCK_MONOTONIC; an absolute deadline keeps wake-up delays from adding up.
    const auto since_epoch = when.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
    timespec deadline{};
    deadline.tv_sec = static_cast<time_t>(seconds.count());
    deadline.tv_nsec = static_cast<long>((since_epoch - seconds).count());
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}
