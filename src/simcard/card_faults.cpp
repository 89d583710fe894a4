#include "simcard/card_faults.h"

#include <charconv>

#include "link/protocol.h"

namespace {

struct KindName {
    const char* name;
    CardFaultKind kind;
};

constexpr KindName kKinds[] = {
    {"drop", CardFaultKind::DropRequest},      {"error", CardFaultKind::AnswerError},
    {"corrupt", CardFaultKind::CorruptReply},  {"joined", CardFaultKind::JoinedWrite},
    {"delay", CardFaultKind::DelayReply},      {"silent", CardFaultKind::StopAnswering},
    {"noack", CardFaultKind::LoseAcknowledge}, {"twice", CardFaultKind::AnswerTwice},
};

// Late enough for the program's resend (1.1 s), early enough for its wait for the reply.
constexpr int ANSWER_TWICE_DELAY_MS = 1500;

template <typename Number>
bool ParseWhole(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool ParseRate(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && value >= 0.0 &&
           value <= 1.0;
}

bool SetKey(CardFault& fault, std::string_view key, std::string_view value) {
    if (key == "at") {
        return ParseWhole(value, fault.first_request) && fault.first_request >= 1;
    }
    if (key == "times") {
        return ParseWhole(value, fault.times) && fault.times >= 0;
    }
    if (key == "rate") {
        return ParseRate(value, fault.rate);
    }
    if (key == "seed") {
        return ParseWhole(value, fault.seed);
    }
    if (key == "ms") {
        return ParseWhole(value, fault.delay_ms) && fault.delay_ms >= 0 && fault.delay_ms <= 600000;
    }
    return false;
}

}  // namespace

const char* CardFaultName(CardFaultKind kind) {
    for (const KindName& entry : kKinds) {
        if (entry.kind == kind) {
            return entry.name;
        }
    }
    return "?";
}

std::optional<CardFault> ParseCardFault(std::string_view text, std::string* why) {
    const std::size_t colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    CardFault fault;
    bool known = false;
    for (const KindName& entry : kKinds) {
        if (name == entry.name) {
            fault.kind = entry.kind;
            known = true;
        }
    }
    if (!known) {
        *why = "unknown fault \"" + std::string(name) +
               "\" (drop, error, corrupt, joined, delay, silent, noack, twice)";
        return std::nullopt;
    }
    if (fault.kind == CardFaultKind::JoinedWrite) {
        fault.times = 0;
    }
    if (fault.kind == CardFaultKind::AnswerTwice) {
        fault.delay_ms = ANSWER_TWICE_DELAY_MS;
    }
    if (colon == std::string_view::npos) {
        return fault;
    }
    std::string_view rest = text.substr(colon + 1);
    for (;;) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos ||
            !SetKey(fault, item.substr(0, equals), item.substr(equals + 1))) {
            *why = "bad fault setting \"" + std::string(item) +
                   "\" (at=N, times=N, rate=0..1, seed=N, ms=N)";
            return std::nullopt;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        rest = rest.substr(comma + 1);
    }
    return fault;
}

FaultSchedule::FaultSchedule(std::vector<CardFault> faults) {
    for (const CardFault& fault : faults) {
        faults_.push_back({fault, std::mt19937(fault.seed), 0});
    }
}

StruckFaults FaultSchedule::Next() {
    ++requests_;
    StruckFaults struck;
    for (Active& active : faults_) {
        const CardFault& fault = active.fault;
        if (requests_ < fault.first_request || (fault.times != 0 && active.struck >= fault.times)) {
            continue;
        }
        // Raw engine output, so the draw is the same with every standard library.
        const double draw = static_cast<double>(active.random()) / 4294967296.0;
        if (draw >= fault.rate) {
            continue;
        }
        ++active.struck;
        struck.kinds |= 1u << static_cast<unsigned>(fault.kind);
        switch (fault.kind) {
            case CardFaultKind::DropRequest:
                struck.drop = true;
                break;
            case CardFaultKind::StopAnswering:
                silent_ = true;
                break;
            case CardFaultKind::AnswerError:
                struck.answer_error = true;
                break;
            case CardFaultKind::JoinedWrite:
                struck.joined = true;
                break;
            case CardFaultKind::DelayReply:
                struck.delay_ms += fault.delay_ms;
                break;
            case CardFaultKind::LoseAcknowledge:
                struck.lose_acknowledge = true;
                break;
            case CardFaultKind::AnswerTwice:
                struck.lose_acknowledge = true;
                struck.delay_ms += fault.delay_ms;
                break;
            case CardFaultKind::CorruptReply: {
                const unsigned index = active.random();
                const unsigned mask = active.random();
                struck.corrupt = true;
                struck.corrupt_index = 1 + static_cast<int>(index % CRC_LENGTH);
                struck.corrupt_mask = static_cast<std::uint8_t>(1 + mask % 255);
                break;
            }
        }
    }
    if (silent_) {
        struck.drop = true;
        struck.kinds |= 1u << static_cast<unsigned>(CardFaultKind::StopAnswering);
    }
    return struck;
}
