#include "web_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/number_text.h"

std::string Temp(double celsius, bool fahrenheit) {
    std::string text = FixedText(ct(static_cast<float>(celsius), fahrenheit), 1);
    std::replace(text.begin(), text.end(), '.', ',');
    return text + (fahrenheit ? " °F" : " °C");
}

std::string Spread(double celsius, bool fahrenheit) {
    std::string text = FixedText(fahrenheit ? celsius * 1.8 : celsius, 1);
    std::replace(text.begin(), text.end(), '.', ',');
    return "± " + text + (fahrenheit ? " °F" : " °C");
}

std::string TenthsText(int tenths) {
    const int whole = std::abs(tenths);
    return std::string(tenths < 0 ? "-" : "") + std::to_string(whole / 10) + "." +
           std::to_string(whole % 10);
}

std::string Number(double value, int decimals) {
    if (!std::isfinite(value)) {
        return "null";
    }
    return FixedText(value, decimals);
}

std::string DateTime(const CALENDAR& c) {
    char text[48];
    std::snprintf(text, sizeof text, "%02u/%02u/%04u %02u:%02u:%02u", c.day, c.month, c.year, c.h,
                  c.m, c.s);
    return text;
}

std::string IsoTime(const CALENDAR& c) {
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%s", c.year, c.month, c.day, c.h,
                  c.m, c.s, kIsoOffset);
    return text;
}

std::string CsvTime(const CALENDAR& c) {
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", c.year, c.month, c.day, c.h,
                  c.m, c.s);
    return text;
}

std::string ReceivedText(const std::string& received) {
    if (received.size() != 19) {
        return received;
    }
    return received.substr(8, 2) + "/" + received.substr(5, 2) + "/" + received.substr(0, 4) +
           received.substr(10);
}

std::string ReceivedIso(const std::string& received) {
    if (received.size() != 19) {
        return received;
    }
    return received.substr(0, 10) + "T" + received.substr(11) + "Z";
}

std::string IntervalText(int seconds) {
    const TimeUnitValue interval = converteUnidadeTempo_g(seconds);
    return std::to_string(interval.valor) + interval.unidade;
}

long long PageCount(long long rows, int per_page) {
    return std::max(1LL, (rows + per_page - 1) / per_page);
}

long long ClampPage(long long page, long long pages) {
    return std::clamp(page, 1LL, pages);
}
