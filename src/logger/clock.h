#pragma once
// The PC's clock. Configuration logs and reports stamp its local time; the card's clock
// keeps UTC, as the readings' times are taken to be. A fixed local time can stand in for
// the clock so that outputs are reproducible.

#include <optional>
#include <string_view>

#include "logger/calendar.h"

// One moment of the PC's clock, as its local time and as UTC.
struct PcTime {
    CALENDAR local;
    CALENDAR utc;
};

// Now, or the fixed local time and that moment in UTC, under the time zone of the process.
PcTime PcClockNow();
CALENDAR LocalNow();
void SetFixedLocalTime(std::optional<CALENDAR> fixed);
// How far the PC's time zone is ahead of UTC at local time `local`, in minutes (-180 in
// Brasília).
int UtcOffsetMinutes(const CALENDAR& local);
// "YYYY-MM-DD HH:MM:SS"; nothing when the text is not such a time.
std::optional<CALENDAR> ParseLocalTimeText(std::string_view text);
