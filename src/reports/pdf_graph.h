#pragma once
// The one-page graph report: the recording's configuration, its statistics (minimum,
// maximum, mean, standard deviation, mean kinetic temperature), the low and high alarm
// blocks, the summary of records and a chart of every reading.

#include <string>
#include <vector>

#include "logger/calendar.h"
#include "logger/memory_image.h"
#include "reports/pdf.h"
#include "reports/recording_stats.h"

// Decodes the image (its times as `base` says) and computes the statistics
// and the alarm blocks with GraphReportFromTenths. Leaves `cal` at the last reading's
// time stamp (without readings, at the one the first would carry).
GraphReportValues GraphReportData(const MemoryImage& image, TimeBase base = TimeBase::Adjusted);

// The chart's step between plotted readings, so that the polyline has at most about
// 480 segments.
int ChartStep(int log_count);
// The reading that time label k (0-6) names.
int TimeLabelReading(int k, int log_count);

// Draws the chart into the open page.
void PdfGraph_g(PdfFile& pdf, const std::vector<float>& tinX, float t_low, float t_high,
                int sample_rate, const CALENDAR& cal_primeira_medicao, bool fahrenheit,
                long serial);

// Writes the graph report of `image` to `path`, whose name the page's foot prints, its
// times as `base` says. False (with `reason`) when it could not be written.
bool WriteGraphReportFile(const std::string& path, const MemoryImage& image, TimeBase base,
                          std::string* reason);
