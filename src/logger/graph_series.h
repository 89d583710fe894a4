#pragma once
// The graph's series: the time, date and temperatures of every reading, and the scales
// that fit them into a plot. The graph window paints them; the cloud upload prepares
// them only for the calendar they leave behind.

#include <vector>

#include "logger/memory_image.h"
#include "logger/readings.h"

// Points a plot can show: a 10100-pixel plot at 5 pixels a point.
constexpr int GRAPH_DISPLAY_MAX = 2000;
// Pixels kept around the plot, and the lowest horizontal step between points.
constexpr int GRAPH_MARGIN = 100;
constexpr int GRAPH_MIN_SCALEX = 5;
// Degrees the plot height spans (-40 C to +80 C).
constexpr int GRAPH_DEGREES_SPANNED = 120;

struct GraphSeries {
    int graph_points = 0;
    // One entry per reading.
    std::vector<int> hour;   // hours << 16 | minutes << 8 | seconds
    std::vector<int> date;   // day << 16 | month << 8 | two-digit year
    std::vector<int> data1;  // temperature, tenths of a degree Celsius
    std::vector<int> data2;  // low alarm limit, tenths
    std::vector<int> data3;  // high alarm limit, tenths
    // data1..3 averaged over `decimation` readings; at most GRAPH_DISPLAY_MAX entries.
    std::vector<int> datashow1;
    std::vector<int> datashow2;
    std::vector<int> datashow3;
    int decimation = 1;
    int scalex = GRAPH_MIN_SCALEX;  // pixels per display point
    int scaley = 1;                 // pixels per degree
};

// Written by GraphData, read by the graph window (user-interface thread only).
extern GraphSeries graph_series;

// Prepares graph_series from the image for a plot of width x height pixels (0 x 0 when
// no graph window exists), its times as `base` says. Leaves `cal` at the start time so
// shifted, advanced by (readings + 1) intervals, with a two-digit year.
bool GraphData(const MemoryImage& dado_in, int width = 0, int height = 0,
               TimeBase base = TimeBase::Adjusted);
