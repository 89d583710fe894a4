#pragma once
// The data window's "Excel": the spreadsheet of the image on show.

#include "base/control_ids.h"
#include "logger/memory_image.h"

// Asks for the file (save dialog owned by `owner`) and writes it with the times the data
// window shows; false when no file was chosen or it could not be written (then shown).
bool ExcelData(WindowId owner, const MemoryImage& image);
