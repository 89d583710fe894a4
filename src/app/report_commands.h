#pragma once
// The data window's "Tabela (PDF)", "Gráfico (PDF)" and "Resumo (PDF)".

#include <functional>
#include <optional>
#include <string>

#include "base/control_ids.h"
#include "logger/memory_image.h"

// The PDF save dialog; the chosen path or nothing.
std::optional<std::string> SaveWSPdf(WindowId owner);
// Asks for the file, reports another firmware once and lets `write` (given the path and
// where to put why it failed) write the report; a file that cannot be written is
// reported. False when nothing was written.
bool WritePdfReport(WindowId owner, const MemoryImage& image,
                    const std::function<bool(const std::string& path, std::string* reason)>& write);

// The table and graph reports of `image` with the times the data window shows, each into
// the file chosen in the save dialog owned by `owner`. False when no file was chosen or it
// could not be written (then shown).
bool PdfData(WindowId owner, const MemoryImage& image);
bool PdfData_g(WindowId owner, const MemoryImage& image);
// The one-page "Resumo" judged by the profile named `profile` (built-in or the user's),
// likewise; a profile that cannot be had is shown and nothing is asked.
bool PdfSummary(WindowId owner, const MemoryImage& image, const std::string& profile);
