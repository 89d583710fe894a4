#include "logger/calendar.h"

#include <cstdio>

CALENDAR cal;

unsigned char diasDoMes(unsigned char mes, unsigned int ano) {
    switch (mes) {
        case 4:
        case 6:
        case 9:
        case 11:
            return 30;
        case 2:
            return ((ano % 4 == 0 && ano % 100 != 0) || ano % 400 == 0) ? 29 : 28;
        default:
            return 31;
    }
}

// The day rollover of the one-second step; a month outside 1..12 never rolls.
static void StepCalendarOneDay(CALENDAR& c) {
    ++c.day;
    if (c.month < 1 || c.month > 12) {
        return;
    }
    if (c.day > diasDoMes(c.month, c.year)) {
        c.day = 1;
        if (++c.month > 12) {
            c.month = 1;
            ++c.year;
        }
    }
}

void StepCalendarOneSecond(CALENDAR& c) {
    if (++c.s < 60) {
        return;
    }
    c.s = 0;
    if (++c.m < 60) {
        return;
    }
    c.m = 0;
    if (++c.h < 24) {
        return;
    }
    c.h = 0;
    StepCalendarOneDay(c);
}

void AdvanceCalendar(CALENDAR& c, unsigned long seconds) {
    // A corrupt clock field (an image byte of 200 seconds, say) is brought into range by
    // plain steps first; from then on whole days are counted at once.
    while (seconds > 0 && (c.s >= 60 || c.m >= 60 || c.h >= 24)) {
        StepCalendarOneSecond(c);
        --seconds;
    }
    const unsigned long total = c.s + 60UL * c.m + 3600UL * c.h + seconds;
    unsigned long days = total / 86400;
    const unsigned long rest = total % 86400;
    c.h = static_cast<unsigned char>(rest / 3600);
    c.m = static_cast<unsigned char>(rest / 60 % 60);
    c.s = static_cast<unsigned char>(rest % 60);
    for (; days > 0; --days) {
        StepCalendarOneDay(c);
    }
}

void CalcDate(int /*log*/, int sample_rate) {
    if (sample_rate > 0) {
        AdvanceCalendar(cal, static_cast<unsigned long>(sample_rate));
    }
}

std::string RecordingTimeText(int points, int rate) {
    // The product is an int, as the configuration window has always computed it.
    const long long product = static_cast<long long>(points) * rate;
    const long long total = product < 0 ? 0 : product;
    const long long values[4] = {total / 86400, total / 3600 % 24, total / 60 % 60, total % 60};
    static const char* const kUnits[4] = {"d", "h", "min", "s"};
    std::string text;
    for (int k = 0; k < 4; ++k) {
        if (values[k] == 0) {
            continue;
        }
        char part[32];
        std::snprintf(part, sizeof part, "%02lld%s", values[k], kUnits[k]);
        if (!text.empty()) {
            text += ' ';
        }
        text += part;
    }
    return text;
}
