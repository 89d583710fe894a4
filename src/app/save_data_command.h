#pragma once
// The data window's "Salvar": the image on show into a data file.

#include "logger/memory_image.h"

// Asks for the file, writes it and says so; false when no file was chosen or it could
// not be written (then shown).
bool SaveDataFromDataWindow(const MemoryImage& image);
