#include "reports/recording_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "logger/calendar.h"
#include "sensor/temp.h"

namespace {

constexpr double GasConst = 8.314472;
constexpr double DeltaH = GasConst * 10000.0;

// A reading that stays out of range for more than the tolerance is confirmed and
// counts for its side's alarm block.
void CountConfirmed(AlarmSide& side, int out_of_range, int tolerance, const CALENDAR& time,
                    int number, float t, bool low) {
    if (out_of_range <= tolerance) {
        return;
    }
    if (!side.confirmada) {
        side.maior_ocorrencia_trigged_temp = time;
        side.id_maior_ocorrencia_temp = number;
        side.confirmada = true;
        side.episodes.push_back({number, time, 0, t});
    }
    AlarmEpisode& episode = side.episodes.back();
    ++episode.readings;
    episode.extreme = low ? std::min(episode.extreme, t) : std::max(episode.extreme, t);
    if (side.ocorrencias == 0) {
        side.extreme_trigged = time;
    }
    ++side.ocorrencias;
    ++side.ocorrencia_temp;
    if (side.ocorrencia_temp > side.maior_ocorrencia) {
        side.maior_ocorrencia = side.ocorrencia_temp;
        if (!side.em_zona) {
            side.maior_ocorrencia_trigged = side.maior_ocorrencia_trigged_temp;
            side.maior_ocorrencia_id = side.id_maior_ocorrencia_temp;
            side.em_zona = true;
        }
    }
}

void EndEpisode(AlarmSide& side) {
    side.ocorrencia_temp = 0;
    side.confirmada = false;
    side.em_zona = false;
}

// Mean, population deviation and mean kinetic temperature. Sums are kept in double:
// in single precision a full image drifts by hundredths of a degree (32640 readings
// of 193.7 average 193.66).
void ComputeStatistics(GraphReportValues& v) {
    const auto n = static_cast<double>(v.readings.size());
    double sum = 0;
    for (float t : v.readings) {
        sum += t;
    }
    v.mean = sum / n;
    double squares = 0;
    double kinetic = 0;
    for (float t : v.readings) {
        squares += (t - v.mean) * (t - v.mean);
        kinetic += std::exp(-DeltaH / (GasConst * (t + 273.15)));
    }
    v.deviation = std::sqrt(squares / n);
    v.mkt = (DeltaH / GasConst) / -std::log(kinetic / n) - 273.15;
}

}  // namespace

float TenthsToTemp(int tenths) {
    return tenths == TEMP_X10_REFUSED ? TEMP_REFUSED : static_cast<float>(tenths) / 10.0f;
}

LimitSide SideOfLimits(float t, float t_low, float t_high) {
    if (t < t_low) {
        return LimitSide::Below;
    }
    return t >= t_high ? LimitSide::Above : LimitSide::Inside;
}

GraphReportValues GraphReportFromTenths(const std::vector<int>& tenths, int low_x10, int high_x10,
                                        int sample_rate, int alarm_delay, const CALENDAR& start) {
    GraphReportValues v;
    v.t_low = TenthsToTemp(low_x10);
    v.t_high = TenthsToTemp(high_x10);
    v.sample_rate = sample_rate;
    v.alarm_delay = alarm_delay;
    // An interval of 0 would divide by zero: every out-of-range reading then counts.
    const int tolerance = v.sample_rate > 0 ? v.alarm_delay / v.sample_rate : 0;
    const auto step = static_cast<unsigned long>(sample_rate > 0 ? sample_rate : 0);

    v.readings.reserve(tenths.size());
    int out_of_range = 0;  // consecutive readings outside the thresholds, either side
    v.minimum = 1000.0f;
    v.maximum = -1000.0f;
    CALENDAR time = start;
    for (std::size_t k = 0; k < tenths.size(); ++k) {
        const int i = static_cast<int>(k);
        AdvanceCalendar(time, step);
        const float t = TenthsToTemp(tenths[k]);
        v.readings.push_back(t);
        if (i == 0) {
            v.first_time = time;
        }
        switch (SideOfLimits(t, v.t_low, v.t_high)) {
            case LimitSide::Below:
                CountConfirmed(v.low, ++out_of_range, tolerance, time, i + 1, t, true);
                break;
            case LimitSide::Above:
                CountConfirmed(v.high, ++out_of_range, tolerance, time, i + 1, t, false);
                break;
            case LimitSide::Inside:
                out_of_range = 0;
                EndEpisode(v.low);
                EndEpisode(v.high);
                break;
        }
        if (t < v.minimum) {
            v.minimum = t;
            v.minimum_time = time;
            v.minimum_number = i + 1;
        }
        if (t > v.maximum) {
            v.maximum = t;
            v.maximum_time = time;
            v.maximum_number = i + 1;
        }
    }
    if (v.readings.empty()) {
        v.minimum = 0;
        v.maximum = 0;
        AdvanceCalendar(time, step);
        v.chart_start = time;
        return v;
    }
    v.chart_start = v.first_time;
    v.last_time = time;
    ComputeStatistics(v);
    return v;
}

float ct(float t, bool fahrenheit) {
    return fahrenheit ? static_cast<float>(static_cast<double>(t) * 1.8 + 32.0) : t;
}

std::string SToHMinS(long long seconds) {
    const long long h = seconds / 3600;
    const long long m = seconds % 3600 / 60;
    const long long s = seconds % 60;
    char text[64];
    if (h >= 1) {
        std::snprintf(text, sizeof text, "%lldh %lldmin %llds", h, m, s);
    } else if (m == 0) {
        std::snprintf(text, sizeof text, "%llds", s);
    } else if (s != 0) {
        std::snprintf(text, sizeof text, "%lldmin %llds", m, s);
    } else {
        std::snprintf(text, sizeof text, "%lldmin", m);
    }
    return text;
}

TimeUnitValue converteUnidadeTempo_g(int tempo) {
    if (tempo >= 3600) {
        return {tempo / 3600, "h"};
    }
    if (tempo >= 60) {
        return {tempo / 60, "min"};
    }
    return {tempo, "s"};
}
