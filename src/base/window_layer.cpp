#include "base/window_layer.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace {

class SilentWindowLayer final : public WindowLayer {
  public:
    MsgAnswer MessageBox(WindowId, std::string_view, std::string_view, MsgIcon,
                         MsgButtons buttons) override {
        return CautiousAnswer(buttons);
    }
    bool WindowExists(WindowId) override { return false; }
    void SetWindowTitle(WindowId, std::string_view) override {}
    void EnableControl(WindowId, int, bool) override {}
    void SetControlText(WindowId, int, std::string_view) override {}
    std::string ControlText(WindowId, int) override { return {}; }
    bool IsChecked(WindowId, int) override { return false; }
    void SetChecked(WindowId, int, bool) override {}
    void FocusControl(WindowId, int) override {}
    int SelectedPosition(WindowId, int) override { return -1; }
    void SelectPosition(WindowId, int, int) override {}
    void EnableMenuItem(int, bool) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPosition(int) override {}
    void AddListLines(WindowId, int, std::vector<std::string>) override {}
    std::optional<std::string> OpenFileDialog(WindowId, const FileFilter&) override {
        return std::nullopt;
    }
    std::optional<std::string> SaveFileDialog(WindowId, const FileFilter&) override {
        return std::nullopt;
    }
    void OpenDataWindow() override {}
    void OpenConfigWindow() override {}
    void EndProcess(int exit_code) override { std::exit(exit_code); }
};

SilentWindowLayer silent_layer;
std::atomic<WindowLayer*> current_layer{&silent_layer};

std::mutex last_chosen_mutex;
std::string last_chosen_file;

std::optional<std::string> Remember(std::optional<std::string> path) {
    std::lock_guard lock(last_chosen_mutex);
    last_chosen_file = path.value_or("");
    return path;
}

}  // namespace

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
