#pragma once
// Draws a printout on a paged device: a printer chosen in the print dialog, or a PDF print
// file. 93 lines a page in 9-point Helvetica (Liberation Sans, its metric twin), each tab
// moving the text to the next stop.

#include <string>

#include "print/printout.h"

class QPagedPaintDevice;
class QPrinter;

// A4 portrait with narrow margins; a printer keeps its own minimum margins.
void SetPrintPage(QPagedPaintDevice& device);

// Draws pages first_page to last_page (1-based, clamped to the printout), one device page
// each. False when the device cannot be drawn on, or the job cannot be finished.
bool PaintPrintout(QPagedPaintDevice& device, const Printout& printout, int first_page,
                   int last_page);

// The printer a print job goes to: high resolution, A4, the document named "Data".
void SetUpPrinter(QPrinter& printer);

// The whole printout into a PDF print file, as the print dialog's "Print to File" makes it.
// Needs a QGuiApplication.
bool PrintToPdfFile(const Printout& printout, const std::string& path);
