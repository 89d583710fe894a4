#include "files/excel.h"

#include "files/file.h"
#include "logger/readings.h"

std::string ExcelText(const MemoryImage& image) {
    // A spreadsheet set up for Portuguese reads a decimal comma; the date keeps its dots.
    TemperatureTexts temps(image, ',');
    const std::string thresholds = temps.ForAD(BigEndian16(&image[OFF_T_LOW])) + '\t' +
                                   temps.ForAD(BigEndian16(&image[OFF_T_HIGH])) + "\t\n";
    std::string text;
    text.reserve(static_cast<std::size_t>(ImageReadingCount(image)) * 40);
    ForEachReading(image, TimeBase::Adjusted, [&](int i, int ad) {
        text += std::to_string(i);
        text += '\t';
        AppendTimeText(text, cal);
        text += '\t';
        AppendDateText(text, cal);
        text += '\t';
        text += temps.ForAD(ad);
        text += '\t';
        text += thresholds;
    });
    return text;
}

bool ExcelData(WindowId owner, const MemoryImage& image) {
    const std::optional<std::string> path = Windows().SaveFileDialog(owner, ExcelFileFilter());
    if (!path) {
        return false;
    }
    CheckImageFirmware(image, owner);
    if (!WriteWholeFile(*path, ExcelText(image))) {
        ShowMessage(owner, "Não foi possível gravar o arquivo " + *path, "Erro", MsgIcon::Stop);
        return false;
    }
    return true;
}
