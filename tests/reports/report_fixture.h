#pragma once
// Makes reports of built images through a recording window layer and checks each one.

#include <map>
#include <string>

#include "support/image_builder.h"
#include "support/pdf_check.h"
#include "support/recording_window_layer.h"

// The A/D value whose temperature is `tenths` tenths of a degree Celsius.
int AdForTenths(int tenths);

enum class ReportKind { Table, Graph };

struct MadeReport {
    bool written = false;
    std::string path;
    CheckedPdf pdf;
};

// Writes the report of `image` to a fresh file (or `path`) with `windows` answering the
// dialog, and checks the document when one was written.
MadeReport MakeReport(ReportKind kind, const MemoryImage& image, RecordingWindowLayer& windows,
                      const std::string& path = "");

struct TableLine {
    bool red;
    int x;
    int y;
};
// The reading lines of a table page, by reading number.
std::map<int, TableLine> TableLines(const std::string& page);
