#pragma once
// The chart of one recording, as inline SVG: the readings against time, the two limits.

#include <string>

#include "web_recording.h"

// The chart's plot width in pixel columns: at most twice as many points are drawn.
constexpr int CHART_COLUMNS = 880;

std::string ChartSvg(const Recording& r);
