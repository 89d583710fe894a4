#pragma once
// Writes reports; checks each PDF with qpdf and pdftotext.

#include <gtest/gtest.h>

#include "logger/clock.h"
#include "logger/readings.h"
#include "support/image_builder.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

std::string FreshPath(const std::string& file_name);  // under the test's temporary directory
int Occurrences(const std::string& haystack, const std::string& needle);
inline bool Has(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}
int AdForTenths(int tenths);  // the A/D value of a temperature in tenths of a degree C
MemoryImage BuildImage(const ImageSpec& spec, int alarm_delay);

struct CheckedPdf {
    std::string bytes, text;         // the file; pdftotext -raw
    std::vector<std::string> pages;  // each page's content stream
};
// Expects qpdf --check to pass, and exact stream lengths, balanced BT/ET, %%EOF at the end.
CheckedPdf CheckPdf(const std::string& path);

// Fixes the local time; Report writes `image`'s report into `path` (or a fresh one), checked.
class ReportTest : public ::testing::Test {
  protected:
    ReportTest(bool graph, const CALENDAR& now) : graph(graph) { SetFixedLocalTime(now); }
    ~ReportTest() override { SetFixedLocalTime(std::nullopt); }
    CheckedPdf Report(const MemoryImage& image, const std::string& path = "",
                      TimeBase base = TimeBase::Adjusted);

    const bool graph;
};
