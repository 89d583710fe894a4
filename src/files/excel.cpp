#include "files/excel.h"

#include "files/file.h"

std::string ExcelText(const MemoryImage& image, TimeBase base) {
    // A spreadsheet set up for Portuguese reads a decimal comma; the date keeps its dots.
    TemperatureTexts temps(image, ',');
    const std::string thresholds = temps.ThresholdFields(image);
    std::string text;
    text.reserve(static_cast<std::size_t>(ImageReadingCount(image)) * 40);
    ForEachReading(image, base, [&](int i, int ad) {
        AppendReadingRow(text, i, cal, temps.ForAD(ad), thresholds);
        text += '\n';
    });
    return text;
}

bool WriteExcelFile(const std::string& path, const MemoryImage& image, TimeBase base,
                    std::string* reason) {
    return WriteWholeFile(path, ExcelText(image, base), reason);
}
