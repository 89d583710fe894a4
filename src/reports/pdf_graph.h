#pragma once
// The one-page graph report: the recording's configuration, its statistics (minimum,
// maximum, mean, standard deviation, mean kinetic temperature), the low and high alarm
// blocks, the summary of records and a chart of every reading.

#include <string>
#include <vector>

#include "logger/calendar.h"
#include "logger/memory_image.h"
#include "reports/pdf.h"
#include "ui/window_layer.h"

// The time stamp the report prints for a time that does not exist: 00/00/0000 00:00:00.
constexpr CALENDAR ZERO_CALENDAR{0, 0, 0, 0, 0, 0};

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

// Decodes the image (applying the time-zone decision) and computes the statistics
// and the alarm blocks.
GraphReportValues GraphReportData(const MemoryImage& image);

// "%d%s" pieces of an interval: 7200 s as 2 and "h", 300 s as 5 and "min", 30 s as 30, "s".
struct TimeUnitValue {
    int valor;
    const char* unidade;
};
TimeUnitValue converteUnidadeTempo_g(int tempo);

// The chart's step between plotted readings, so that the polyline has at most about
// 480 segments.
int ChartStep(int log_count);
// The reading that time label k (0-6) names.
int TimeLabelReading(int k, int log_count);

// Draws the chart into the open page.
void PdfGraph_g(PdfFile& pdf, const std::vector<float>& tinX, float t_low, float t_high,
                int sample_rate, const CALENDAR& cal_primeira_medicao, bool fahrenheit,
                long serial);

// Writes the graph report of `image` to the file chosen in the save dialog owned by
// `owner`. False when no file was chosen or it could not be written (then shown).
bool PdfData_g(WindowId owner, const MemoryImage& image);
