#pragma once
// Writes reports through a recording window layer, checks every PDF a test produces with
// qpdf and reads its text back with pdftotext.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

// A fresh path under the test's temporary directory.
std::string FreshPath(const std::string& file_name);

struct CheckedPdf {
    std::string bytes;
    std::string text;                // pdftotext -raw
    std::vector<std::string> pages;  // each page's content stream
};

// Expects `qpdf --check` to pass (it finds wrong offsets, /Size and lengths) and what it lets
// pass: exact stream lengths, balanced BT/ET, %%EOF at the end; returns the document.
CheckedPdf CheckPdf(const std::string& path);

int Occurrences(const std::string& haystack, const std::string& needle);
inline bool Has(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// The A/D value of `tenths` tenths of a degree Celsius; an image with an alarm delay.
int AdForTenths(int tenths);
MemoryImage BuildImage(const ImageSpec& spec, int alarm_delay);

// Fixes the local time. Report writes the report of `image` to `path` (a fresh file when
// empty) through the save dialog, expects it written and returns it checked.
class ReportTest : public ::testing::Test {
  protected:
    ReportTest(bool graph, const CALENDAR& now);
    ~ReportTest() override;
    CheckedPdf Report(const MemoryImage& image, const std::string& path = "");

    RecordingWindowLayer windows;
    const bool graph;
};
