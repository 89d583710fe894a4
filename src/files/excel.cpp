#include "files/excel.h"

#include "files/file.h"
#include "logger/readings.h"

std::string ExcelText(const MemoryImage& image) {
    // A spreadsheet set up for Portuguese reads a decimal comma; the date keeps its dots.
    TemperatureTexts temps(image, ',');
    const std::string thresholds = temps.ThresholdFields(image);
    std::string text;
    text.reserve(static_cast<std::size_t>(ImageReadingCount(image)) * 40);
    ForEachReading(image, TimeBase::Adjusted, [&](int i, int ad) {
        AppendReadingRow(text, i, cal, temps.ForAD(ad), thresholds);
        text += '\n';
    });
    return text;
}

bool ExcelData(WindowId owner, const MemoryImage& image) {
    const std::optional<std::string> path = ChooseFileToSave(owner, ExcelFileFilter());
    if (!path) {
        return false;
    }
    CheckImageFirmware(image, owner);
    std::string reason;
    if (!WriteWholeFile(*path, ExcelText(image), &reason)) {
        ShowWriteError(owner, *path, reason);
        return false;
    }
    return true;
}
