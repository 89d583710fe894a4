#pragma once
// The spreadsheet export: tab-separated text with decimal commas, one reading a line.

#include <string>

#include "logger/memory_image.h"
#include "logger/readings.h"

std::string ExcelText(const MemoryImage& image, TimeBase base);
// Writes the spreadsheet of `image` to `path`; false (with `reason`) when it cannot.
bool WriteExcelFile(const std::string& path, const MemoryImage& image, TimeBase base,
                    std::string* reason);
