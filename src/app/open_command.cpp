#include "app/open_command.h"

#include <filesystem>
#include <optional>

#include "base/window_layer.h"

namespace {

// "Arquivo Inválido: card.mvta: why": the file's name, so that a batch of files, or a
// script's log, says which one was refused.
void ShowInvalidFile(WindowId owner, const std::string& path, const std::string& reason) {
    std::string text(MSG_INVALID_FILE);
    text += ": " + std::filesystem::path(path).filename().string();
    if (!reason.empty()) {
        text += ": " + reason;
    }
    ShowMessage(owner, text, "Erro", MsgIcon::Stop);
}

}  // namespace

FileLoad LoadDataFile(const std::string& path, MemoryImage& image, WindowId owner) {
    std::string reason;
    const FileLoad load = ReadDataFile(path, image, &reason);
    if (load == FileLoad::Refused) {
        ShowInvalidFile(owner, path, reason);
    } else if (load == FileLoad::FirmwareRejected) {
        ShowMessage(owner, MSG_FIRMWARE_INCOMPATIBLE, CAPTION_ATTENTION, MsgIcon::None);
    }
    return load;
}

FileLoad LoadConfigFile(const std::string& path, ConfigValues& values, WindowId owner) {
    std::string reason;
    const FileLoad load = ReadConfigFile(path, values, &reason);
    if (load != FileLoad::Loaded) {
        ShowInvalidFile(owner, path, reason);
    }
    return load;
}

OpenedFile OpenPath(const std::string& path) {
    if (CheckDataExtension(path)) {
        switch (LoadDataFile(path, data_in, WindowId::Main)) {
            case FileLoad::Loaded:
                return {OpenedKind::DataFile, path};
            case FileLoad::FirmwareRejected:
                Windows().EndProcess(0);
                return {};
            case FileLoad::Refused:
                return {};
        }
    }
    if (CheckCfgExtension(path)) {
        if (LoadConfigFile(path, config_values, WindowId::Main) == FileLoad::Loaded) {
            return {OpenedKind::ConfigFile, path};
        }
        return {};
    }
    ShowInvalidFile(WindowId::Main, path, "");
    return {};
}

OpenedFile OpenFromMainWindow() {
    const std::optional<std::string> path =
        ChooseFileToOpen(WindowId::Main, DataOrConfigFileFilter());
    if (!path) {
        return {};
    }
    return OpenPath(*path);
}
