#include "logger/clock.h"

#include <cstdio>
#include <ctime>
#include <string>

static std::optional<CALENDAR> fixed_local_time;

static CALENDAR CalendarFromTm(const std::tm& t) {
    CALENDAR c;
    c.s = static_cast<unsigned char>(t.tm_sec > 59 ? 59 : t.tm_sec);  // no leap second
    c.m = static_cast<unsigned char>(t.tm_min);
    c.h = static_cast<unsigned char>(t.tm_hour);
    c.day = static_cast<unsigned char>(t.tm_mday);
    c.month = static_cast<unsigned char>(t.tm_mon + 1);
    c.year = static_cast<unsigned>(t.tm_year + 1900);
    return c;
}

PcTime PcClockNow() {
    std::tm t{};
    std::time_t moment = 0;
    PcTime now;
    if (fixed_local_time) {
        now.local = *fixed_local_time;
        t.tm_sec = now.local.s;
        t.tm_min = now.local.m;
        t.tm_hour = now.local.h;
        t.tm_mday = now.local.day;
        t.tm_mon = now.local.month - 1;
        t.tm_year = static_cast<int>(now.local.year) - 1900;
        t.tm_isdst = -1;  // the zone's own rule for that date
        moment = std::mktime(&t);
    } else {
        moment = std::time(nullptr);
        localtime_r(&moment, &t);
        now.local = CalendarFromTm(t);
    }
    gmtime_r(&moment, &t);
    now.utc = CalendarFromTm(t);
    return now;
}

CALENDAR LocalNow() {
    return PcClockNow().local;
}

void SetFixedLocalTime(std::optional<CALENDAR> fixed) {
    fixed_local_time = fixed;
}

int UtcOffsetMinutes(const CALENDAR& local) {
    std::tm t{};
    t.tm_sec = local.s;
    t.tm_min = local.m;
    t.tm_hour = local.h;
    t.tm_mday = local.day;
    t.tm_mon = local.month - 1;
    t.tm_year = static_cast<int>(local.year) - 1900;
    t.tm_isdst = -1;  // the zone's own rule for that day
    const std::time_t at = std::mktime(&t);
    std::tm back{};
    if (at == static_cast<std::time_t>(-1) || localtime_r(&at, &back) == nullptr) {
        return 0;
    }
    return static_cast<int>(back.tm_gmtoff / 60);
}

std::optional<CALENDAR> ParseLocalTimeText(std::string_view text) {
    const std::string s(text);
    unsigned year = 0, month = 0, day = 0, h = 0, m = 0, sec = 0;
    char tail = 0;
    if (std::sscanf(s.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &year, &month, &day, &h, &m, &sec,
                    &tail) != 6) {
        return std::nullopt;
    }
    if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > diasDoMes(static_cast<unsigned char>(month), year) || h > 23 || m > 59 || sec > 59) {
        return std::nullopt;
    }
    CALENDAR c;
    c.s = static_cast<unsigned char>(sec);
    c.m = static_cast<unsigned char>(m);
    c.h = static_cast<unsigned char>(h);
    c.day = static_cast<unsigned char>(day);
    c.month = static_cast<unsigned char>(month);
    c.year = year;
    return c;
}
