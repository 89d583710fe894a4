#pragma once
// The spreadsheet export: tab-separated text with decimal commas, one reading a line.

#include <string>

#include "base/window_layer.h"
#include "logger/memory_image.h"

std::string ExcelText(const MemoryImage& image);
// Asks for the file (save dialog owned by `owner`) and writes it; false when no file
// was chosen or it could not be written.
bool ExcelData(WindowId owner, const MemoryImage& image);
