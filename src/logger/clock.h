#pragma once
// The PC's local time, which configuration writes, logs and reports stamp; a fixed
// time can stand in for it so that outputs are reproducible.

#include <optional>
#include <string_view>

#include "logger/calendar.h"

CALENDAR LocalNow();
void SetFixedLocalTime(std::optional<CALENDAR> fixed);
// How far the PC's time zone is ahead of UTC at local time `local`, in minutes (-180 in
// Brasília).
int UtcOffsetMinutes(const CALENDAR& local);
// "YYYY-MM-DD HH:MM:SS"; nothing when the text is not such a time.
std::optional<CALENDAR> ParseLocalTimeText(std::string_view text);
