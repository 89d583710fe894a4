#pragma once
// Records what the core shows, answers as the test says; locked, as worker threads call it.

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/window_layer.h"

struct RecordedMessage {
    WindowId owner;
    std::string text;
    std::string caption;
    MsgIcon icon;
};

class RecordingWindowLayer : public WindowLayer {
  public:
    RecordingWindowLayer() { SetWindowLayer(this); }
    ~RecordingWindowLayer() override { SetWindowLayer(nullptr); }

    MsgAnswer MessageBox(WindowId owner, std::string_view text, std::string_view caption,
                         MsgIcon icon, MsgButtons buttons) override {
        Locked lock(mutex_);
        messages_.push_back({owner, std::string(text), std::string(caption), icon});
        if (buttons == MsgButtons::YesNoCancel) {
            return three_way_answer;
        }
        return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    bool WindowExists(WindowId window) override {
        Locked lock(mutex_);
        return std::find(open_windows.begin(), open_windows.end(), window) != open_windows.end();
    }
    void SetWindowTitle(WindowId window, std::string_view title) override {
        Set(titles_, {window, 0}, std::string(title));
    }
    void EnableControl(WindowId window, int id, bool enabled) override {
        Set(enabled_, {window, id}, enabled);
    }
    void SetControlText(WindowId window, int id, std::string_view text) override {
        Set(texts_, {window, id}, std::string(text));
    }
    std::string ControlText(WindowId window, int id) override {
        return Get(texts_, {window, id}).value_or("");
    }
    bool IsChecked(WindowId window, int id) override {
        return Get(checked_, {window, id}).value_or(false);
    }
    void SetChecked(WindowId window, int id, bool checked) override {
        Set(checked_, {window, id}, checked);
    }
    void FocusControl(WindowId window, int id) override {
        Locked lock(mutex_);
        focused_ = Key{window, id};
    }
    int SelectedPosition(WindowId window, int id) override {
        return Get(positions_, {window, id}).value_or(-1);
    }
    void SelectPosition(WindowId window, int id, int position) override {
        Set(positions_, {window, id}, position);
    }
    void EnableMenuItem(int menu_id, bool enabled) override {
        Set(enabled_, {WindowId::Main, -menu_id}, enabled);
    }
    void SetProgressRange(int, int) override {}
    void SetProgressPosition(int) override {}
    void AddListLines(WindowId window, int list_id, std::vector<std::string> lines) override {
        Locked lock(mutex_);
        auto& list = lists_[{window, list_id}];
        list.insert(list.end(), lines.begin(), lines.end());
    }
    std::optional<std::string> OpenFileDialog(WindowId, const FileFilter& filter) override {
        return SaveFileDialog(WindowId::Main, filter);
    }
    std::optional<std::string> SaveFileDialog(WindowId, const FileFilter& filter) override {
        Locked lock(mutex_);
        offered_filters = filter.description;
        return dialog_path;
    }
    void OpenDataWindow() override { Opened(WindowId::Data); }
    void OpenConfigWindow() override { Opened(WindowId::Config); }
    void EndProcess(int exit_code) override {
        Locked lock(mutex_);
        end_process_code = exit_code;
    }

    // What the test sets up.
    std::vector<WindowId> open_windows;
    std::optional<std::string> dialog_path;
    std::atomic<MsgAnswer> three_way_answer{MsgAnswer::Yes};  // to Yes, No and Cancel

    // What the core did; read the plain members after the core's threads have settled.
    std::vector<RecordedMessage> Messages() {
        Locked lock(mutex_);
        return messages_;
    }
    std::vector<std::string> ListLines(WindowId window, int list_id) {
        return Get(lists_, {window, list_id}).value_or(std::vector<std::string>{});
    }
    std::optional<bool> ControlEnabled(WindowId window, int id) {
        return Get(enabled_, {window, id});
    }
    std::optional<bool> MenuEnabled(int menu_id) {
        return Get(enabled_, {WindowId::Main, -menu_id});
    }
    std::optional<std::string> WindowTitle(WindowId window) { return Get(titles_, {window, 0}); }
    std::optional<std::pair<WindowId, int>> Focused() {
        Locked lock(mutex_);
        return focused_;
    }
    std::optional<int> EndProcessCode() {  // safe to poll while the core's threads run
        Locked lock(mutex_);
        return end_process_code;
    }
    std::vector<WindowId> opened_windows;
    std::string offered_filters;  // of the last file dialog

  private:
    using Key = std::pair<WindowId, int>;
    using Locked = std::lock_guard<std::mutex>;

    template <typename Value>
    void Set(std::map<Key, Value>& map, Key key, Value value) {
        Locked lock(mutex_);
        map[key] = std::move(value);
    }
    template <typename Value>
    std::optional<Value> Get(const std::map<Key, Value>& map, Key key) {
        Locked lock(mutex_);
        const auto found = map.find(key);
        return found == map.end() ? std::nullopt : std::optional<Value>(found->second);
    }
    void Opened(WindowId window) {
        Locked lock(mutex_);
        opened_windows.push_back(window);
    }

    std::mutex mutex_;
    std::optional<int> end_process_code;
    std::vector<RecordedMessage> messages_;
    std::map<Key, std::vector<std::string>> lists_;
    std::map<Key, bool> enabled_;  // menu items under the main window, negative ids
    std::map<Key, std::string> texts_;
    std::map<Key, bool> checked_;
    std::map<Key, int> positions_;
    std::map<Key, std::string> titles_;
    std::optional<Key> focused_;
};
