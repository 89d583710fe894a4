#include "files/excel.h"

#include <algorithm>
#include <cstdio>

#include "files/file.h"
#include "logger/readings.h"

// "%02.1f" with the decimal point turned into a comma, then a tab.
static void AppendCommaField(std::string& out, float value) {
    char field[48];
    const int n = std::snprintf(field, sizeof field, "%02.1f\t", value);
    std::replace(field, field + n, '.', ',');
    out.append(field, static_cast<std::size_t>(n));
}

std::string ExcelText(const MemoryImage& image) {
    const float low = ImageTemp(image, BigEndian16(&image[OFF_T_LOW]));
    const float high = ImageTemp(image, BigEndian16(&image[OFF_T_HIGH]));
    std::string text;
    text.reserve(static_cast<std::size_t>(ImageReadingCount(image)) * 40);
    ForEachReading(image, TimeBase::Adjusted, [&](int i, int ad) {
        char head[64];
        const int n = std::snprintf(head, sizeof head, "%d\t%02d:%02d:%02d\t%02d.%02d.%02d\t", i,
                                    cal.h, cal.m, cal.s, cal.day, cal.month, cal.year % 100);
        text.append(head, static_cast<std::size_t>(n));
        AppendCommaField(text, ImageTemp(image, ad));
        AppendCommaField(text, low);
        AppendCommaField(text, high);
        text += '\n';
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
