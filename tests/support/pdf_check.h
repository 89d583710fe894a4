#pragma once
// Checks every report a test produces with qpdf and reads its text back with pdftotext.

#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/temp_dir.h"

// A fresh path in a directory of its own under the test's temporary directory.
std::string FreshPath(const std::string& file_name);

struct CheckedPdf {
    std::string bytes;
    std::string text;                // pdftotext -raw
    std::vector<std::string> pages;  // each page's content stream
};

// Expects `qpdf --check` to pass without warnings, every object at the offset the
// cross-reference table gives, every stream of its declared length, balanced text
// objects and the end of file where it belongs; returns what the document holds.
CheckedPdf CheckPdf(const std::string& path);

// How often `needle` occurs in `haystack`.
int Occurrences(const std::string& haystack, const std::string& needle);
