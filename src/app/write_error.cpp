#include "app/write_error.h"

#include "base/window_layer.h"

void ShowWriteError(WindowId owner, const std::string& path, const std::string& reason) {
    std::string text = "Não foi possível gravar o arquivo " + path;
    if (!reason.empty()) {
        text += ": " + reason;
    }
    ShowMessage(owner, text, "Erro", MsgIcon::Stop);
}
