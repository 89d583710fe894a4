#include "simcard/refrigerator_recording.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "sensor/temp.h"

int RefrigeratorTenths(long seconds) {
    if (seconds >= WARM_EXCURSION_START_S &&
        seconds < WARM_EXCURSION_START_S + WARM_EXCURSION_LENGTH_S) {
        const double x = static_cast<double>(seconds - WARM_EXCURSION_START_S) /
                         static_cast<double>(WARM_EXCURSION_LENGTH_S);
        return 85 + static_cast<int>(std::lround(10.0 * std::sin(std::numbers::pi * x)));
    }
    if (seconds >= COLD_DIP_START_S && seconds < COLD_DIP_START_S + COLD_DIP_LENGTH_S) {
        return 12;
    }
    // A daily swing and the compressor's half-hour cycle, between 3.0 and 7.0 °C.
    const double day = 2.0 * std::numbers::pi * static_cast<double>(seconds % 86400) / 86400.0;
    const double cycle = 2.0 * std::numbers::pi * static_cast<double>(seconds % 1800) / 1800.0;
    return 50 + static_cast<int>(std::lround(14.0 * std::sin(day) + 5.0 * std::sin(cycle)));
}

int RecordedAD(int tenths) {
    return ClampAD(HiTempToAD(tenths));
}

void PutReading(MemoryImage& memory, int i, int ad) {
    if (i >= 0 && i < MAX_IMAGE_READINGS) {
        PutBigEndian16(&memory[HEADER_SIZE + READING_SIZE * i], ad);
    }
}

// The smallest configurable number of readings that holds `readings`.
static int SamplePointsFor(int readings) {
    for (int points : SAMPLE_POINTS_LIST) {
        if (points >= readings) {
            return points;
        }
    }
    return SAMPLE_POINTS_LIST.back();
}

MemoryImage BuildDefaultRecording(int readings, int interval_s) {
    MemoryImage memory;
    memory.fill(0xFF);  // erased flash
    std::fill(memory.begin(), memory.begin() + HEADER_SIZE, 0);
    readings = std::clamp(readings, 0, 0xFFFF);
    PutBigEndian16(&memory[OFF_LOG_COUNT], readings);
    PutBigEndian16(&memory[OFF_SAMPLE_POINTS], SamplePointsFor(readings));
    PutBigEndian16(&memory[OFF_SAMPLE_RATE], interval_s);
    memory[OFF_LED_CYCLE] = 10;
    memory[OFF_FLAGS] = FLAG_FLASH_ALARM;
    PutBigEndian16(&memory[OFF_T_LOW], ClampAD(LoTempToAD(DEFAULT_LOW_ALARM_TENTHS)));
    PutBigEndian16(&memory[OFF_T_HIGH], ClampAD(HiTempToAD(DEFAULT_HIGH_ALARM_TENTHS)));
    PutBigEndian16(&memory[OFF_ALARM_DELAY], DEFAULT_ALARM_DELAY_S);
    SetImageStartTime(memory, DEFAULT_START);
    memory[OFF_SERIAL] = static_cast<std::uint8_t>(DEFAULT_SERIAL >> 16);
    memory[OFF_SERIAL + 1] = static_cast<std::uint8_t>(DEFAULT_SERIAL >> 8);
    memory[OFF_SERIAL + 2] = static_cast<std::uint8_t>(DEFAULT_SERIAL);
    std::memcpy(&memory[OFF_DESCRICAO], DEFAULT_DESCRIPTION, std::strlen(DEFAULT_DESCRIPTION));
    std::memcpy(&memory[OFF_FIRMWARE], "103", 3);
    const int stored = std::min(readings, MAX_IMAGE_READINGS);
    for (int i = 0; i < stored; ++i) {
        PutReading(memory, i,
                   RecordedAD(RefrigeratorTenths(static_cast<long>(i + 1) * interval_s)));
    }
    return memory;
}

MemoryImage BuildDemonstrationRecording(int number) {
    // Each card's recording shorter by a day and its room's day later by seven hours.
    constexpr long SHIFT_S = 7 * 3600;
    const int readings = std::max(DEFAULT_READINGS - number * 288, 288);
    MemoryImage memory = BuildDefaultRecording(readings, DEFAULT_INTERVAL_S);
    const long serial = DEFAULT_SERIAL + number;
    memory[OFF_SERIAL] = static_cast<std::uint8_t>(serial >> 16);
    memory[OFF_SERIAL + 1] = static_cast<std::uint8_t>(serial >> 8);
    memory[OFF_SERIAL + 2] = static_cast<std::uint8_t>(serial);
    const std::string description =
        std::string(number < 9 ? "Camara fria 0" : "Camara fria ") + std::to_string(number + 1);
    std::fill_n(&memory[OFF_DESCRICAO], DESCRIPTION_SIZE, 0);
    std::memcpy(&memory[OFF_DESCRICAO], description.data(),
                std::min<std::size_t>(description.size(), DESCRIPTION_SIZE - 1));
    for (int i = 0; i < readings; ++i) {
        const long seconds = static_cast<long>(i + 1) * DEFAULT_INTERVAL_S + number * SHIFT_S;
        PutReading(memory, i, RecordedAD(RefrigeratorTenths(seconds)));
    }
    return memory;
}
