#pragma once
// The one-page graph report: the recording's configuration, its statistics (minimum,
// maximum, mean, standard deviation, mean kinetic temperature), the low and high alarm
// blocks, the summary of records and a chart of every reading.

#include <string>
#include <vector>

#include "base/window_layer.h"
#include "logger/calendar.h"
#include "logger/memory_image.h"
#include "reports/pdf.h"
#include "reports/recording_stats.h"

// Decodes the image (applying the time-zone decision) and computes the statistics
// and the alarm blocks with GraphReportFromTenths. Leaves `cal` at the last reading's
// time stamp (without readings, at the one the first would carry).
GraphReportValues GraphReportData(const MemoryImage& image);

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
