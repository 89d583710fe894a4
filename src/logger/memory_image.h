#pragma once
// The card's 65536-byte memory: a 256-byte header and big-endian 2-byte readings.
// Every view, file, report and upload decodes it through these functions.

#include <array>
#include <cstdint>
#include <string>

#include "base/card_layout.h"
#include "logger/calendar.h"
#include "logger/config_values.h"
#include "sensor/temp.h"

using MemoryImage = std::array<std::uint8_t, MEMORY_SIZE>;

// The image on show: written by a card read or a data-file open, read by the rest.
extern MemoryImage data_in;

// Header offsets.
constexpr int OFF_LOG_COUNT = 0;
constexpr int OFF_SAMPLE_POINTS = 2;
constexpr int OFF_SAMPLE_RATE = 4;
constexpr int OFF_LED_CYCLE = 6;
constexpr int OFF_FLAGS = 7;
constexpr int OFF_T_LOW = 8;
constexpr int OFF_T_HIGH = 10;
constexpr int OFF_START_DELAY = 12;
constexpr int OFF_ALARM_DELAY = 14;
constexpr int OFF_START_TIME = 16;  // s, m, h, day, month, year (little-endian, 2 bytes)
constexpr int OFF_SERIAL = 23;
constexpr int OFF_DESCRICAO = 26;
constexpr int OFF_CLOUD = 47;
constexpr int OFF_FIRMWARE = 97;

constexpr std::uint8_t FLAG_FLASH_ALARM = 0x01;
constexpr std::uint8_t FLAG_FAHRENHEIT = 0x02;
constexpr std::uint8_t FLAG_CLOUD = 0x04;

// A start year at or before this marks a card that was never started.
constexpr unsigned NEVER_STARTED_YEAR = 2013;

inline int BigEndian16(const std::uint8_t* p) {
    return (p[0] << 8) | p[1];
}
inline void PutBigEndian16(std::uint8_t* p, long value) {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}

// Reading count from bytes 0-1, clamped to what the image can hold.
int ImageReadingCount(const MemoryImage& image);
int ImageSampleRate(const MemoryImage& image);
CALENDAR ImageStartTime(const MemoryImage& image);
void SetImageStartTime(MemoryImage& image, const CALENDAR& start);
bool ImageNeverStarted(const MemoryImage& image);
FirmwareVersion ImageFirmware(const MemoryImage& image);
void SetImageFirmware(MemoryImage& image, const FirmwareVersion& version);
// A/D value of reading i (0-based), as stored.
int ReadingAD(const MemoryImage& image, int i);

// The configuration part of a header: image bytes 2-47, from `header` = image byte 0
// (a configuration-read reply carries image byte k in frame byte 6 + k).
ConfigValues ConfigFromHeader(const std::uint8_t* header);

// The 53-byte "AJ" payload: `utc_now` sets the card's clock.
std::array<std::uint8_t, CONFIG_RECORD_SIZE> BuildConfigRecord(const ConfigValues& values,
                                                               const CALENDAR& utc_now);

// The summary of the memory image that the data window passes to saving and printing.
extern bool overflow;  // nothing reads it yet: the readings carry their own count
bool WeatherStationInfo(const std::uint8_t* dado_in, int* length, int* log_count);
