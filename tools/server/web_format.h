#pragma once
// Numbers, times and page counts as the web view's pages, chart, CSV file and JSON
// documents write them.

#include <string>

#include "web_recording.h"

// Reading times as the card sends them: Brasília time, no daylight saving.
inline constexpr const char* kTimeBase = "GMT-3";
inline constexpr const char* kIsoOffset = "-03:00";

// "8,0 °C": a Celsius temperature in the card's unit, Portuguese decimal comma.
std::string Temp(double celsius, bool fahrenheit);
// A spread converts without the offset.
std::string Spread(double celsius, bool fahrenheit);
// Tenths exactly, as "-12.5": for CSV and JSON.
std::string TenthsText(int tenths);
// "null" when not finite, for JSON.
std::string Number(double value, int decimals);
std::string DateTime(const CALENDAR& c);
std::string IsoTime(const CALENDAR& c);
std::string CsvTime(const CALENDAR& c);
// The server's "YYYY-MM-DD HH:MM:SS" (UTC) as "DD/MM/YYYY HH:MM:SS".
std::string ReceivedText(const std::string& received);
std::string ReceivedIso(const std::string& received);
std::string IntervalText(int seconds);
long long PageCount(long long rows, int per_page);
long long ClampPage(long long page, long long pages);
