#include "app/config_fields.h"

#include "base/window_layer.h"
#include "logger/logger_commands.h"

bool TakeCheckedConfigFields(ConfigValues& values) {
    ConfigValues taken = config_values;
    if (const std::optional<RefusedField> refused = TakeConfigFromWindow(taken)) {
        ShowMessage(WindowId::Config, refused->message, "Erro", MsgIcon::Stop);
        Windows().FocusControl(WindowId::Config, refused->control_id);
        return false;
    }
    values = taken;
    return true;
}
