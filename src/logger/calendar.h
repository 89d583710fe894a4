#pragma once
// Time stamps: the card stores only the start time and the interval, so the time of
// reading i is the start time advanced by (i + 1) intervals.

#include <string>

struct CALENDAR {
    unsigned char s = 0;
    unsigned char m = 0;
    unsigned char h = 0;
    unsigned char day = 1;
    unsigned char month = 1;
    unsigned int year = 2000;

    bool operator==(const CALENDAR&) const = default;
};

// The time-stamp cursor shared by every decoder (user-interface thread only).
extern CALENDAR cal;

unsigned char diasDoMes(unsigned char mes, unsigned int ano);

// One second forward, carrying into minutes, hours, days, months and years.
void StepCalendarOneSecond(CALENDAR& c);
// `seconds` forward; the same calendar as that many one-second steps, in O(days).
void AdvanceCalendar(CALENDAR& c, unsigned long seconds);

// Advances `cal` by one interval; `log` (the reading's index) is not used.
void CalcDate(int log, int sample_rate);

// "16h 40min", "83d 08h", ...: how long `points` readings at `rate` seconds last.
std::string RecordingTimeText(int points, int rate);
