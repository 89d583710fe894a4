#pragma once
// "Imprimir" of the data window: Qt's print dialog, then the pages on the chosen printer
// or in the PDF print file the user names there.

#include <QWidget>

#include "logger/memory_image.h"
#include "print/printout.h"

class QPrinter;

inline constexpr const char* MSG_PRINTER_PROBLEM = "Problema na Impressora!";

// Prints the data window's image, or the spreadsheet export last chosen in a file dialog
// (see DataWindowPrintout). False when the dialog was cancelled, the printer failed (one
// message for the job), or another job is still running.
bool PrintFromDataWindow(QWidget* owner, const MemoryImage& image);

// The pages the dialog chose (all, or its page range) on `printer`; one "Problema na
// Impressora!" when the printer cannot be drawn on or the job cannot be finished.
bool PrintJob(QPrinter& printer, const Printout& printout);
