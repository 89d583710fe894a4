#pragma once
// Faults the simulated card can be told to show, each named and reproducible: which
// requests a fault strikes depends only on its settings, its seed and the order of requests.

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

enum class CardFaultKind {
    DropRequest,      // "drop": the request is lost on the line; no acknowledge, no reply
    AnswerError,      // "error": acknowledge, then an "ER" frame instead of the reply
    CorruptReply,     // "corrupt": one byte of the reply (or of a lone acknowledge) altered
    JoinedWrite,      // "joined": acknowledge and reply leave in one write
    DelayReply,       // "delay": acknowledge at once, the reply `delay_ms` later
    StopAnswering,    // "silent": from the first struck request on, nothing is answered
    LoseAcknowledge,  // "noack": the acknowledge is lost on the line; the reply goes out
    // "twice": the acknowledge lost and the reply `delay_ms` late, past the program's resend,
    // which the card then answers as well: two replies to one request.
    AnswerTwice,
};
constexpr int CARD_FAULT_KINDS = 8;
// The name "--fault" takes for a kind.
const char* CardFaultName(CardFaultKind kind);

struct CardFault {
    CardFaultKind kind = CardFaultKind::DropRequest;
    int first_request = 1;  // requests are valid frames, counted from 1, resends included
    int times = 1;          // requests struck; 0 = every one from first_request on
    double rate = 1.0;      // chance that an eligible request is struck
    std::uint32_t seed = 1;
    int delay_ms = 500;
};

// "KIND[:KEY=VALUE,...]" with KIND drop, error, corrupt, joined, delay, silent, noack or twice
// and the keys at (first request), times, rate, seed and ms (delay, twice). "joined" strikes
// every request unless told otherwise; "twice" is late by 1500 ms unless told otherwise.
// Nothing, with `why` set, when the text is not such a fault.
std::optional<CardFault> ParseCardFault(std::string_view text, std::string* why);

// What the faults do to one request.
struct StruckFaults {
    bool drop = false;  // drop or silent
    bool answer_error = false;
    bool lose_acknowledge = false;
    bool joined = false;
    int delay_ms = 0;
    // The reply frame's byte `corrupt_index` (1..54, under the check byte) is XORed with
    // `corrupt_mask`; a request without a reply frame has its acknowledge altered instead.
    bool corrupt = false;
    int corrupt_index = 1;
    std::uint8_t corrupt_mask = 0;

    unsigned kinds = 0;  // bit k: a fault of CardFaultKind k struck

    bool Any() const { return kinds != 0; }
};

class FaultSchedule {
  public:
    explicit FaultSchedule(std::vector<CardFault> faults);
    // Decides for the next request.
    StruckFaults Next();
    bool Silent() const { return silent_; }

  private:
    struct Active {
        CardFault fault;
        std::mt19937 random;
        int struck = 0;
    };
    std::vector<Active> faults_;
    int requests_ = 0;
    bool silent_ = false;
};
