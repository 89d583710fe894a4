#pragma once
// The printed pages as lines of text: what "Imprimir" and `razurozavi-cli print` put on
// paper. Each page holds a three-line heading, up to 88 body lines and a two-line footer;
// fields are separated by tabs, which the page painter expands.

#include <string>
#include <string_view>
#include <vector>

#include "logger/memory_image.h"

inline constexpr int PRINT_LINES_PER_PAGE = 93;
inline constexpr int PRINT_BODY_LINES_PER_PAGE = 88;
inline constexpr int PRINT_CHARS_PER_LINE = 100;

using PrintPage = std::vector<std::string>;  // UTF-8, one entry a printed line
using Printout = std::vector<PrintPage>;

// Cuts a line into pieces of at most 100 characters (not bytes); an empty line stays one.
std::vector<std::string> WrapPrintLine(std::string_view text);

// The readings of the image, with the card's own times and the image's serial number.
Printout ReadingsPrintout(const MemoryImage& image);
// A text file (its bytes) line by line, with its path in every footer.
Printout TextFilePrintout(std::string_view bytes, const std::string& path);

// What "Imprimir" prints: a text file with line feeds (a spreadsheet export) as text when it
// is the last chosen file; the image after a card read, or when that file is a data file, a
// configuration file, a PDF report, or cannot be read.
Printout DataWindowPrintout(const MemoryImage& image, const std::string& last_chosen_file);
