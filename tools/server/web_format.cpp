#include "web_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Temp(double celsius, bool fahrenheit) {
    std::string text = Format("%.1f", ct(static_cast<float>(celsius), fahrenheit));
    std::replace(text.begin(), text.end(), '.', ',');
    return text + (fahrenheit ? " °F" : " °C");
}

std::string Spread(double celsius, bool fahrenheit) {
    std::string text = Format("%.1f", fahrenheit ? celsius * 1.8 : celsius);
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
    char format[8];
    std::snprintf(format, sizeof format, "%%.%df", decimals);
    return Format(format, value);
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
