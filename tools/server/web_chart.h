#pragma once
// The chart of one recording, as inline SVG: the readings against time, the two limits.

#include <string>

#include "web_recording.h"

// The wide chart's plot width in pixel columns: at most twice as many points are drawn.
constexpr int CHART_COLUMNS = 880;

// One chart's drawing area, in SVG units (12 units is the labels' size).
struct ChartLayout {
    const char* style;  // an extra class, and the suffix of the title's id
    int width;
    int height;
    int left;
    int right;
    int time_labels;
};
// For a screen where 960 units are at least 800 pixels wide, so that labels stay 10 px.
inline constexpr ChartLayout WIDE_CHART = {"", 960, 400, 64, 16, 6};
// For a phone: drawn about as wide as it is meant, three times as big as the wide chart.
inline constexpr ChartLayout NARROW_CHART = {"estreito", 360, 300, 44, 8, 3};

std::string ChartSvg(const Recording& r, const ChartLayout& layout = WIDE_CHART);
