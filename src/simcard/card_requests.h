#pragma once
// The simulated card's answers, pure: a request frame in, the acknowledge and reply out,
// and what the request does to the card's memory, clock and recording.
//
// Memory-read request for 50 bytes at 0x0032 and the card's reply (memory bytes 0x32..0x63
// in frame bytes 6..55, the request's address and count echoed in frame bytes 3..5):
//   7E 52 44 00 32 32 00 ... 00 16 7E
//   7E 52 44 00 32 32 m[0x32] ... m[0x63] check 7E

#include <chrono>
#include <optional>
#include <string>

#include "link/protocol.h"
#include "logger/calendar.h"
#include "logger/memory_image.h"

using SteadyTime = std::chrono::steady_clock::time_point;

struct CardState {
    MemoryImage memory{};
    std::string firmware = "1.03";  // "VR" frame bytes 3..6
    std::string hardware = "120";   // "VR" frame bytes 7..9
    // The card's clock: `clock_at_set` at `clock_set_at`, running with real time.
    CALENDAR clock_at_set{};
    SteadyTime clock_set_at{};
    // After a configuration write the card records one reading per `reading_period`, so
    // a demonstration sees a whole recording in minutes.
    bool recording = false;
    int recording_target = 0;
    SteadyTime next_reading_at{};
    std::chrono::milliseconds reading_period{1000};
};

// The card's clock at `now`.
CALENDAR CardClock(const CardState& card, SteadyTime now);

// The reply to one valid frame, which the card acknowledges first whatever it holds: nothing
// for "AJ", "ER" for letters the card does not know.
std::optional<Frame> AnswerRequest(CardState& card, const Frame& request, SteadyTime now);

// Adds the readings that fell due by `now` to a recording in progress.
void AdvanceRecording(CardState& card, SteadyTime now);

// The "ER" frame the card sends instead of a reply.
Frame ErrorFrame();
