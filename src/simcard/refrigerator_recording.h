#pragma once
// What the simulated card has recorded: a cold room held between 2 and 8 °C, with one
// hour-long warm excursion and one short dip, so that alarms and statistics have work.

#include <cstdint>

#include "logger/calendar.h"
#include "logger/memory_image.h"

constexpr int DEFAULT_READINGS = 7 * 24 * 12;  // one week at 5-minute intervals
constexpr int DEFAULT_INTERVAL_S = 300;
constexpr int DEFAULT_LOW_ALARM_TENTHS = 20;
constexpr int DEFAULT_HIGH_ALARM_TENTHS = 80;
constexpr int DEFAULT_ALARM_DELAY_S = 600;
constexpr long DEFAULT_SERIAL = 1234;
inline constexpr const char* DEFAULT_DESCRIPTION = "Camara fria 01";
inline constexpr CALENDAR DEFAULT_START{0, 0, 8, 2, 6, 2025};

// Seconds after the start (reading i is taken at (i + 1) intervals) of the two excursions.
constexpr long WARM_EXCURSION_START_S = 2L * 86400 + 6 * 3600;  // third day, 14:00
constexpr long WARM_EXCURSION_LENGTH_S = 3600;
constexpr long COLD_DIP_START_S = 4L * 86400 + 19 * 3600;  // sixth day, 03:00
constexpr long COLD_DIP_LENGTH_S = 900;

// Temperature in tenths of a degree `seconds` after the recording started; the same for
// every run, so tests and demonstrations are reproducible.
int RefrigeratorTenths(long seconds);

// The A/D value the card stores for `tenths` (never colder than the temperature asked for).
int RecordedAD(int tenths);

// Stores reading i (0-based) if the memory holds it.
void PutReading(MemoryImage& memory, int i, int ad);

// The memory of a card that recorded `readings` readings every `interval_s` seconds from
// DEFAULT_START; a count beyond what the memory holds stays in the header as it is.
MemoryImage BuildDefaultRecording(int readings, int interval_s);

// The recording of demonstration card `number` (0: the default one): a serial number,
// description, length and cold-room day of its own, so that the cards of a demonstration
// differ, and the excursions fall elsewhere or outside it.
MemoryImage BuildDemonstrationRecording(int number);
