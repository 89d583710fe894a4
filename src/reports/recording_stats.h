#pragma once
// A recording's statistics and alarm episodes, as the graph report prints them and the
// collection server's web view shows them: one computation for both.

#include <string>
#include <vector>

#include "logger/calendar.h"

// The time stamp the report prints for a time that does not exist: 00/00/0000 00:00:00.
constexpr CALENDAR ZERO_CALENDAR{0, 0, 0, 0, 0, 0};

// One alarm episode: a run of readings on one side of the thresholds, from its first
// confirmed reading on (readings before the alarm delay has passed do not count).
struct AlarmEpisode {
    int first_number = 0;  // 1-based number of its first confirmed reading
    CALENDAR first_time = ZERO_CALENDAR;
    int readings = 0;   // confirmed readings in it
    float extreme = 0;  // its lowest (low side) or highest (high side) reading, C
};

// Confirmed alarm readings on one side of the thresholds.
struct AlarmSide {
    int ocorrencias = 0;                       // confirmed readings in the whole recording
    int maior_ocorrencia = 0;                  // length of the longest episode, in readings
    CALENDAR extreme_trigged = ZERO_CALENDAR;  // first confirmed reading of the recording
    CALENDAR maior_ocorrencia_trigged = ZERO_CALENDAR;  // the longest episode's start
    int maior_ocorrencia_id = 0;                        // and its reading number
    // The episode under way.
    int ocorrencia_temp = 0;
    CALENDAR maior_ocorrencia_trigged_temp = ZERO_CALENDAR;
    int id_maior_ocorrencia_temp = 0;
    bool confirmada = false;  // its start is captured
    bool em_zona = false;     // it has been taken over as the longest
    // Every episode in recording order; the longest is maior_ocorrencia readings long.
    std::vector<AlarmEpisode> episodes;
};

// Everything the report shows, in degrees Celsius.
struct GraphReportValues {
    std::vector<float> readings;
    float t_low = 0;
    float t_high = 0;
    int sample_rate = 0;
    int alarm_delay = 0;
    long serial = 0;
    bool fahrenheit = false;
    CALENDAR first_time = ZERO_CALENDAR;  // of the first and the last reading
    CALENDAR last_time = ZERO_CALENDAR;
    // Where the chart's time axis starts: the first reading's time stamp, or without
    // readings the one it would carry.
    CALENDAR chart_start = ZERO_CALENDAR;
    float minimum = 0;
    float maximum = 0;
    CALENDAR minimum_time = ZERO_CALENDAR;
    CALENDAR maximum_time = ZERO_CALENDAR;
    int minimum_number = 0;
    int maximum_number = 0;
    double mean = 0;
    double deviation = 0;
    double mkt = 0;  // mean kinetic temperature
    AlarmSide low;
    AlarmSide high;
};

// A temperature in tenths of a degree as the report computes with it: the value / 10 in
// single precision, and a refused conversion (TEMP_X10_REFUSED) as TEMP_REFUSED, exactly
// as ADToTemp gives them.
float TenthsToTemp(int tenths);

// Which side of the alarm limits a reading lies on: below the low limit, or at or above
// the high one (a reading equal to the high limit is above it, as in the table report).
enum class LimitSide { Inside, Below, Above };
LimitSide SideOfLimits(float t, float t_low, float t_high);

// The statistics and the alarm blocks of a recording given as tenths of a degree
// Celsius: the report's own computation, shared with the collection server's web view.
// Reading i is stamped `start` advanced by (i + 1) intervals, as the card's calendar
// steps (AdvanceCalendar). Leaves `cal` alone.
GraphReportValues GraphReportFromTenths(const std::vector<int>& tenths, int low_x10, int high_x10,
                                        int sample_rate, int alarm_delay, const CALENDAR& start);

// How the reports and the web view write a recording's values.
// A Celsius temperature in the report unit.
float ct(float t, bool fahrenheit);
// "1h 2min 5s", "2min 5s", "10min", "45s".
std::string SToHMinS(long long seconds);
// "%d%s" pieces of an interval: 7200 s as 2 and "h", 300 s as 5 and "min", 30 s as 30, "s".
struct TimeUnitValue {
    int valor;
    const char* unidade;
};
TimeUnitValue converteUnidadeTempo_g(int tempo);
