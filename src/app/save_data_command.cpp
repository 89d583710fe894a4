#include "app/save_data_command.h"

#include <optional>

#include "app/write_error.h"
#include "base/window_layer.h"
#include "files/file.h"

bool SaveDataFromDataWindow(const MemoryImage& image) {
    const std::optional<std::string> path = ChooseFileToSave(WindowId::Data, DataFileFilter());
    if (!path) {
        return false;
    }
    int length = 0;
    int log_count = 0;
    WeatherStationInfo(image.data(), &length, &log_count);  // for its overflow flag
    std::string reason;
    if (!WeatherStationExport(*path, image, &reason)) {
        ShowWriteError(WindowId::Data, *path, reason);
        return false;
    }
    ShowMessage(WindowId::Data, "Export Data to file Successful", "Export", MsgIcon::None);
    Windows().SetWindowTitle(WindowId::Data, *path);
    return true;
}
