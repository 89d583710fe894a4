#include "base/window_layer.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace {

WindowlessLayer silent_layer;
std::atomic<WindowLayer*> current_layer{&silent_layer};

std::mutex last_chosen_mutex;
std::string last_chosen_file;

std::optional<std::string> Remember(std::optional<std::string> path) {
    std::lock_guard lock(last_chosen_mutex);
    last_chosen_file = path.value_or("");
    return path;
}

}  // namespace

void WindowlessLayer::EndProcess(int exit_code) {
    std::exit(exit_code);
}

MsgAnswer CautiousAnswer(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::YesNo:
            return MsgAnswer::No;
        case MsgButtons::YesNoCancel:
            return MsgAnswer::Cancel;
        case MsgButtons::Ok:
            break;
    }
    return MsgAnswer::Ok;
}

WindowLayer& Windows() {
    return *current_layer.load();
}

void SetWindowLayer(WindowLayer* layer) {
    current_layer.store(layer ? layer : &silent_layer);
}

std::optional<std::string> ChooseFileToOpen(WindowId owner, const FileFilter& filter) {
    return Remember(Windows().OpenFileDialog(owner, filter));
}

std::optional<std::string> ChooseFileToSave(WindowId owner, const FileFilter& filter) {
    return Remember(Windows().SaveFileDialog(owner, filter));
}

std::string LastChosenFile() {
    std::lock_guard lock(last_chosen_mutex);
    return last_chosen_file;
}

void ForgetLastChosenFile() {
    Remember(std::nullopt);
}

void ShowMessage(WindowId owner, std::string_view text, std::string_view caption, MsgIcon icon) {
    Windows().MessageBox(owner, text, caption, icon, MsgButtons::Ok);
}
