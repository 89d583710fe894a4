#include "support/recording_window_layer.h"

#include <algorithm>

MsgAnswer RecordingWindowLayer::MessageBox(WindowId owner, std::string_view text,
                                           std::string_view caption, MsgIcon icon,
                                           MsgButtons buttons) {
    std::lock_guard lock(mutex_);
    messages_.push_back({owner, std::string(text), std::string(caption), icon});
    return buttons == MsgButtons::YesNo ? yes_no_answer : MsgAnswer::Ok;
}

bool RecordingWindowLayer::WindowExists(WindowId window) {
    std::lock_guard lock(mutex_);
    return std::find(open_windows.begin(), open_windows.end(), window) != open_windows.end();
}

void RecordingWindowLayer::SetWindowTitle(WindowId window, std::string_view title) {
    std::lock_guard lock(mutex_);
    titles_[window] = std::string(title);
}

void RecordingWindowLayer::EnableControl(WindowId window, int control_id, bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_[{window, control_id}] = enabled;
}

void RecordingWindowLayer::SetControlText(WindowId window, int control_id, std::string_view text) {
    std::lock_guard lock(mutex_);
    texts_[{window, control_id}] = std::string(text);
}

std::string RecordingWindowLayer::ControlText(WindowId window, int control_id) {
    std::lock_guard lock(mutex_);
    const auto found = texts_.find({window, control_id});
    return found == texts_.end() ? std::string() : found->second;
}

bool RecordingWindowLayer::IsChecked(WindowId window, int control_id) {
    std::lock_guard lock(mutex_);
    const auto found = checked_.find({window, control_id});
    return found != checked_.end() && found->second;
}

void RecordingWindowLayer::SetChecked(WindowId window, int control_id, bool checked) {
    std::lock_guard lock(mutex_);
    checked_[{window, control_id}] = checked;
}

int RecordingWindowLayer::SelectedPosition(WindowId window, int control_id) {
    std::lock_guard lock(mutex_);
    const auto found = positions_.find({window, control_id});
    return found == positions_.end() ? -1 : found->second;
}

void RecordingWindowLayer::SelectPosition(WindowId window, int control_id, int position) {
    std::lock_guard lock(mutex_);
    positions_[{window, control_id}] = position;
}

void RecordingWindowLayer::EnableMenuItem(int menu_id, bool enabled) {
    std::lock_guard lock(mutex_);
    menu_[menu_id] = enabled;
}

void RecordingWindowLayer::SetProgressRange(int, int high) {
    std::lock_guard lock(mutex_);
    progress_high = high;
}

void RecordingWindowLayer::SetProgressPosition(int position) {
    std::lock_guard lock(mutex_);
    progress_position = position;
}

void RecordingWindowLayer::AddListLines(WindowId window, int list_id,
                                        std::vector<std::string> lines) {
    std::lock_guard lock(mutex_);
    auto& list = lists_[{window, list_id}];
    list.insert(list.end(), std::make_move_iterator(lines.begin()),
                std::make_move_iterator(lines.end()));
}

std::optional<std::string> RecordingWindowLayer::OpenFileDialog(WindowId,
                                                                const FileFilter& filter) {
    std::lock_guard lock(mutex_);
    dialog_filters.push_back(filter);
    return dialog_path;
}

std::optional<std::string> RecordingWindowLayer::SaveFileDialog(WindowId,
                                                                const FileFilter& filter) {
    std::lock_guard lock(mutex_);
    dialog_filters.push_back(filter);
    return dialog_path;
}

void RecordingWindowLayer::OpenDataWindow() {
    std::lock_guard lock(mutex_);
    opened_windows.push_back(WindowId::Data);
}

void RecordingWindowLayer::OpenConfigWindow() {
    std::lock_guard lock(mutex_);
    opened_windows.push_back(WindowId::Config);
}

void RecordingWindowLayer::EndProcess(int exit_code) {
    std::lock_guard lock(mutex_);
    end_process_code = exit_code;
}

std::optional<int> RecordingWindowLayer::EndProcessCode() {
    std::lock_guard lock(mutex_);
    return end_process_code;
}

std::vector<RecordedMessage> RecordingWindowLayer::Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> RecordingWindowLayer::ListLines(WindowId window, int list_id) {
    std::lock_guard lock(mutex_);
    return lists_[{window, list_id}];
}

std::optional<bool> RecordingWindowLayer::ControlEnabled(WindowId window, int control_id) {
    std::lock_guard lock(mutex_);
    const auto found = enabled_.find({window, control_id});
    return found == enabled_.end() ? std::nullopt : std::optional<bool>(found->second);
}

std::optional<bool> RecordingWindowLayer::MenuEnabled(int menu_id) {
    std::lock_guard lock(mutex_);
    const auto found = menu_.find(menu_id);
    return found == menu_.end() ? std::nullopt : std::optional<bool>(found->second);
}

std::optional<std::string> RecordingWindowLayer::WindowTitle(WindowId window) {
    std::lock_guard lock(mutex_);
    const auto found = titles_.find(window);
    return found == titles_.end() ? std::nullopt : std::optional<std::string>(found->second);
}
