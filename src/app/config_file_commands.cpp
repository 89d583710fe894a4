#include "app/config_file_commands.h"

#include <optional>

#include "app/config_fields.h"
#include "app/open_command.h"
#include "app/write_error.h"
#include "base/window_layer.h"
#include "logger/reading_list.h"

bool OpenConfigInConfigWindow() {
    const std::optional<std::string> path = ChooseFileToOpen(WindowId::Config, ConfigFileFilter());
    if (!path) {
        return false;
    }
    if (LoadConfigFile(*path, config_values, WindowId::Config) != FileLoad::Loaded) {
        return false;
    }
    Windows().SetWindowTitle(WindowId::Config, *path);
    WeatherStationViewPar();
    return true;
}

bool SaveConfigFromConfigWindow() {
    // What the window shows, not what was last read or written.
    ConfigValues shown;
    if (!TakeCheckedConfigFields(shown)) {
        return false;
    }
    const std::optional<std::string> path = ChooseFileToSave(WindowId::Config, ConfigFileFilter());
    if (!path) {
        return false;
    }
    config_values = shown;
    std::string reason;
    if (!SaveConfigFile(*path, shown, &reason)) {
        ShowWriteError(WindowId::Config, *path, reason);
        return false;
    }
    ShowMessage(WindowId::Config, "Arquivo de configuração salvo com sucesso", "Salvar",
                MsgIcon::None);
    Windows().SetWindowTitle(WindowId::Config, *path);
    return true;
}
