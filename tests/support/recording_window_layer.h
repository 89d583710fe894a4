#pragma once
// A window layer that records what the core shows and answers as a test tells it.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/window_layer.h"

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
                         MsgIcon icon, MsgButtons buttons) override;
    bool WindowExists(WindowId window) override;
    void SetWindowTitle(WindowId window, std::string_view title) override;
    void EnableControl(WindowId window, int control_id, bool enabled) override;
    void SetControlText(WindowId window, int control_id, std::string_view text) override;
    std::string ControlText(WindowId window, int control_id) override;
    bool IsChecked(WindowId window, int control_id) override;
    void SetChecked(WindowId window, int control_id, bool checked) override;
    int SelectedPosition(WindowId window, int control_id) override;
    void SelectPosition(WindowId window, int control_id, int position) override;
    void EnableMenuItem(int menu_id, bool enabled) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPosition(int position) override;
    void AddListLines(WindowId window, int list_id, std::vector<std::string> lines) override;
    std::optional<std::string> OpenFileDialog(WindowId owner, const FileFilter& filter) override;
    std::optional<std::string> SaveFileDialog(WindowId owner, const FileFilter& filter) override;
    void OpenDataWindow() override;
    void OpenConfigWindow() override;
    void EndProcess(int exit_code) override;

    // What the test sets up.
    std::vector<WindowId> open_windows;
    std::optional<std::string> dialog_path;
    MsgAnswer yes_no_answer = MsgAnswer::Yes;

    // What the core did; read them after the core's threads have settled.
    std::vector<RecordedMessage> Messages();
    std::vector<std::string> ListLines(WindowId window, int list_id);
    std::optional<bool> ControlEnabled(WindowId window, int control_id);
    std::optional<bool> MenuEnabled(int menu_id);
    std::optional<std::string> WindowTitle(WindowId window);
    std::vector<FileFilter> dialog_filters;
    std::optional<int> end_process_code;
    // The same, safe to poll while the core's threads run.
    std::optional<int> EndProcessCode();
    std::vector<WindowId> opened_windows;
    int progress_position = 0;
    int progress_high = 0;

  private:
    using Key = std::pair<WindowId, int>;
    std::mutex mutex_;
    std::vector<RecordedMessage> messages_;
    std::map<Key, std::vector<std::string>> lists_;
    std::map<Key, bool> enabled_;
    std::map<Key, std::string> texts_;
    std::map<Key, bool> checked_;
    std::map<Key, int> positions_;
    std::map<int, bool> menu_;
    std::map<WindowId, std::string> titles_;
};
