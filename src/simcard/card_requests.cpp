#include "simcard/card_requests.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "simcard/refrigerator_recording.h"

namespace {

using Payload = std::array<unsigned char, PAYLOAD_LENGTH>;

// The most memory bytes a reply carries: frame bytes 6..55.
constexpr int RD_MAX_DATA = FRAME_LENGTH - 2 - RD_DATA_OFFSET;

// Payload bytes 7..52 of a configuration record are image bytes 2..47.
constexpr int RECORD_TO_IMAGE_SHIFT = 5;
constexpr int RECORD_CONFIG_FIRST = OFF_SAMPLE_POINTS + RECORD_TO_IMAGE_SHIFT;

// Battery/temperature reply, when nothing has been recorded yet.
constexpr int ROOM_TENTHS = 50;

Frame Reply(const char* letters, const Payload& payload) {
    return BuildFrame(letters, payload.data());
}

int ReadingCount(const MemoryImage& memory) {
    return BigEndian16(&memory[OFF_LOG_COUNT]);
}

void SetReadingCount(MemoryImage& memory, int count) {
    PutBigEndian16(&memory[OFF_LOG_COUNT], count);
}

void EraseReadings(CardState& card) {
    std::fill(card.memory.begin() + HEADER_SIZE, card.memory.end(), 0xFF);
    SetReadingCount(card.memory, 0);
    card.recording = false;
}

Frame AnswerMemoryRead(const CardState& card, const Payload& request) {
    const int address = (request[0] << 8) | request[1];
    const int count = std::min<int>(request[2], RD_MAX_DATA);
    Payload reply{};
    std::copy_n(request.begin(), 3, reply.begin());
    for (int k = 0; k < count && address + k < MEMORY_SIZE; ++k) {
        reply[RD_DATA_OFFSET - PAYLOAD_OFFSET + k] = card.memory[address + k];
    }
    return Reply("RD", reply);
}

Frame AnswerVersion(const CardState& card) {
    Payload reply{};
    std::copy_n(card.firmware.begin(), std::min<std::size_t>(card.firmware.size(), 4),
                reply.begin());
    std::copy_n(card.hardware.begin(), std::min<std::size_t>(card.hardware.size(), 3),
                reply.begin() + 4);
    return Reply("VR", reply);
}

Frame AnswerDate(const CardState& card, SteadyTime now) {
    const CALENDAR c = CardClock(card, now);
    Payload reply{};
    reply[0] = c.s;
    reply[1] = c.m;
    reply[2] = c.h;
    reply[3] = c.day;
    reply[4] = c.month;
    PutBigEndian16(&reply[5], static_cast<int>(c.year));
    return Reply("DT", reply);
}

Frame AnswerBattery(const CardState& card) {
    const int count = std::min(ReadingCount(card.memory), MAX_IMAGE_READINGS);
    const int ad = count > 0 ? ReadingAD(card.memory, count - 1) : RecordedAD(ROOM_TENTHS);
    Payload reply{};
    PutBigEndian16(&reply[0], ad);
    return Reply("BT", reply);
}

void StartRecording(CardState& card, const Payload& record, SteadyTime now) {
    std::copy(record.begin() + RECORD_CONFIG_FIRST, record.end(),
              card.memory.begin() + OFF_SAMPLE_POINTS);
    EraseReadings(card);
    CALENDAR start = CardClock(card, now);
    AdvanceCalendar(start, static_cast<unsigned long>(BigEndian16(&card.memory[OFF_START_DELAY])));
    SetImageStartTime(card.memory, start);
    card.recording = true;
    card.recording_target =
        std::min(BigEndian16(&card.memory[OFF_SAMPLE_POINTS]), MAX_IMAGE_READINGS);
    card.next_reading_at = now + card.reading_period;
}

// "AJ": the clock always; a new recording when the record carries a configuration (a clock
// set alone leaves payload bytes 7..52 zero).
void TakeConfigurationRecord(CardState& card, const Payload& record, SteadyTime now) {
    card.clock_at_set.s = record[0];
    card.clock_at_set.m = record[1];
    card.clock_at_set.h = record[2];
    card.clock_at_set.day = record[3];
    card.clock_at_set.month = record[4];
    card.clock_at_set.year = static_cast<unsigned>(BigEndian16(&record[5]));
    card.clock_set_at = now;
    const bool has_configuration = std::any_of(record.begin() + RECORD_CONFIG_FIRST, record.end(),
                                               [](unsigned char b) { return b != 0; });
    if (has_configuration) {
        StartRecording(card, record, now);
    }
}

void Format(CardState& card) {
    EraseReadings(card);
    std::fill(card.memory.begin(), card.memory.begin() + HEADER_SIZE, 0);
    card.memory[OFF_SERIAL] = card.memory[OFF_SERIAL + 1] = card.memory[OFF_SERIAL + 2] = 0xFF;
    std::copy_n("103", 3, card.memory.begin() + OFF_FIRMWARE);
}

}  // namespace

Frame ErrorFrame() {
    return Reply("ER", Payload{});
}

CALENDAR CardClock(const CardState& card, SteadyTime now) {
    CALENDAR c = card.clock_at_set;
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - card.clock_set_at);
    AdvanceCalendar(c, static_cast<unsigned long>(std::max<long long>(elapsed.count(), 0)));
    return c;
}

std::optional<Frame> AnswerRequest(CardState& card, const Frame& request, SteadyTime now) {
    Payload payload;
    std::copy_n(request.begin() + PAYLOAD_OFFSET, PAYLOAD_LENGTH, payload.begin());
    if (request[1] == 'A' && request[2] == 'J') {
        TakeConfigurationRecord(card, payload, now);
        return std::nullopt;
    }
    switch (DecodeCommand(request.data() + 1)) {
        case RD:
            return AnswerMemoryRead(card, payload);
        case VR:
            return AnswerVersion(card);
        case DT:
            return AnswerDate(card, now);
        case BT:
            return AnswerBattery(card);
        case WR:
            EraseReadings(card);
            return Reply("WR", payload);
        case FM:
            Format(card);
            return Reply("FM", Payload{});
        default:
            return ErrorFrame();
    }
}

void AdvanceRecording(CardState& card, SteadyTime now) {
    while (card.recording && now >= card.next_reading_at) {
        const int i = ReadingCount(card.memory);
        if (i >= card.recording_target) {
            card.recording = false;
            break;
        }
        const long seconds = static_cast<long>(i + 1) * BigEndian16(&card.memory[OFF_SAMPLE_RATE]);
        PutReading(card.memory, i, RecordedAD(RefrigeratorTenths(seconds)));
        SetReadingCount(card.memory, i + 1);
        card.recording = i + 1 < card.recording_target;
        card.next_reading_at += card.reading_period;
    }
}
