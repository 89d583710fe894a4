#include "app/export_command.h"

#include <optional>

#include "app/shown_time.h"
#include "app/write_error.h"
#include "base/window_layer.h"
#include "files/excel.h"
#include "files/file.h"

bool ExcelData(WindowId owner, const MemoryImage& image) {
    const std::optional<std::string> path = ChooseFileToSave(owner, ExcelFileFilter());
    if (!path) {
        return false;
    }
    CheckImageFirmware(image, owner);
    std::string reason;
    if (!WriteExcelFile(*path, image, DataWindowTimeBase(), &reason)) {
        ShowWriteError(owner, *path, reason);
        return false;
    }
    return true;
}
