#include "web_recording.h"

#include <algorithm>

#include "logger/calendar.h"

namespace {

// Days since 0000-03-01 of a proleptic Gregorian date (the card's calendar rules).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe);
}

CALENDAR CivilFromDays(long long z, unsigned long seconds_of_day) {
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    CALENDAR c;
    c.year = static_cast<unsigned>(static_cast<long long>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
    c.month = static_cast<unsigned char>(m);
    c.day = static_cast<unsigned char>(d);
    c.h = static_cast<unsigned char>(seconds_of_day / 3600);
    c.m = static_cast<unsigned char>(seconds_of_day / 60 % 60);
    c.s = static_cast<unsigned char>(seconds_of_day % 60);
    return c;
}

}  // namespace

std::optional<CALENDAR> RecordingStart(const CALENDAR& stamp, int readings, int sample_rate) {
    CALENDAR end = stamp;
    end.year = 2000 + stamp.year;
    if (end.month < 1 || end.month > 12 || end.day < 1 ||
        end.day > diasDoMes(end.month, end.year) || end.h >= 24 || end.m >= 60 || end.s >= 60 ||
        readings < 0 || sample_rate < 0) {
        return std::nullopt;
    }
    const unsigned long back =
        static_cast<unsigned long>(readings + 1) * static_cast<unsigned long>(sample_rate);
    const long long seconds = DaysFromCivil(end.year, end.month, end.day) * 86400LL +
                              end.h * 3600LL + end.m * 60LL + end.s - static_cast<long long>(back);
    if (seconds < 0) {
        return std::nullopt;
    }
    const CALENDAR start =
        CivilFromDays(seconds / 86400, static_cast<unsigned long>(seconds % 86400));
    // The card's own calendar must lead from this start to the stamp.
    CALENDAR check = start;
    AdvanceCalendar(check, back);
    if (!(check == end)) {
        return std::nullopt;
    }
    return start;
}

Recording MakeRecording(StoredUpload upload, std::vector<int> tenths) {
    Recording r;
    r.upload = std::move(upload);
    r.tenths = std::move(tenths);
    const std::optional<CALENDAR> start =
        RecordingStart(r.upload.stamp, static_cast<int>(r.tenths.size()), r.upload.sample_rate);
    r.times_known = start.has_value();
    r.start = start.value_or(ZERO_CALENDAR);
    r.stats = GraphReportFromTenths(r.tenths, r.upload.low_alarm_x10, r.upload.high_alarm_x10,
                                    r.upload.sample_rate, r.upload.alarm_delay, r.start);
    r.stats.serial = r.upload.serial;
    r.stats.fahrenheit = r.upload.temp_unit != 0;
    return r;
}

CALENDAR ReadingTime(const Recording& r, int index) {
    CALENDAR time = r.start;
    const unsigned long rate =
        static_cast<unsigned long>(r.upload.sample_rate > 0 ? r.upload.sample_rate : 0);
    const unsigned long total = static_cast<unsigned long>(index + 1) * rate;
    AdvanceCalendar(time, total);
    return time;
}

long long SecondsOutside(const GraphReportValues& v) {
    return (static_cast<long long>(v.low.ocorrencias) + v.high.ocorrencias) * v.sample_rate;
}

UploadSummary Summarize(const Recording& r) {
    UploadSummary s;
    s.readings = static_cast<int>(r.tenths.size());
    s.times_known = r.times_known;
    s.first = r.stats.first_time;
    s.last = r.stats.last_time;
    s.minimum = r.stats.minimum;
    s.maximum = r.stats.maximum;
    s.low_episodes = static_cast<int>(r.stats.low.episodes.size());
    s.high_episodes = static_cast<int>(r.stats.high.episodes.size());
    s.seconds_outside = SecondsOutside(r.stats);
    return s;
}

bool OutsideLimits(int tenths, int low_x10, int high_x10) {
    return SideOfLimits(TenthsToTemp(tenths), TenthsToTemp(low_x10), TenthsToTemp(high_x10)) !=
           LimitSide::Inside;
}

std::vector<int> ChartPoints(const std::vector<int>& tenths, int columns) {
    const auto n = static_cast<long long>(tenths.size());
    std::vector<int> points;
    if (n <= 2LL * columns || columns <= 0) {
        points.resize(static_cast<std::size_t>(n));
        for (long long i = 0; i < n; ++i) {
            points[static_cast<std::size_t>(i)] = static_cast<int>(i);
        }
        return points;
    }
    points.reserve(2 * static_cast<std::size_t>(columns));
    for (long long c = 0; c < columns; ++c) {
        const long long from = c * n / columns;
        const long long to = (c + 1) * n / columns;
        if (from >= to) {
            continue;
        }
        long long low = from;
        long long high = from;
        for (long long i = from + 1; i < to; ++i) {
            low = tenths[i] < tenths[low] ? i : low;
            high = tenths[i] > tenths[high] ? i : high;
        }
        points.push_back(static_cast<int>(std::min(low, high)));
        if (low != high) {
            points.push_back(static_cast<int>(std::max(low, high)));
        }
    }
    return points;
}
