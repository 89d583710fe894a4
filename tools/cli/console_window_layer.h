#pragma once
// The window layer of the command line: message boxes go to standard error as
// "CAPTION: TEXT", the dialogs answer with the paths given on the command line, and
// the data window's GMT-0 check box is --gmt0.

#include <optional>
#include <string>

#include "ui/window_layer.h"

class ConsoleWindowLayer final : public WindowLayer {
  public:
    void SetKeepGmt(bool keep_gmt) { keep_gmt_ = keep_gmt; }
    // The path the next file dialog returns.
    void SetDialogPath(std::optional<std::string> path) { dialog_path_ = std::move(path); }

    MsgAnswer MessageBox(WindowId owner, std::string_view text, std::string_view caption,
                         MsgIcon icon, MsgButtons buttons) override;
    bool WindowExists(WindowId window) override { return window == WindowId::Data; }
    void SetWindowTitle(WindowId, std::string_view) override {}
    void EnableControl(WindowId, int, bool) override {}
    void SetControlText(WindowId, int, std::string_view) override {}
    std::string ControlText(WindowId, int) override { return {}; }
    bool IsChecked(WindowId window, int control_id) override {
        return window == WindowId::Data && control_id == CB_CONVERTER_HORARIO_LOCAL && keep_gmt_;
    }
    void SetChecked(WindowId, int, bool) override {}
    int SelectedPosition(WindowId, int) override { return -1; }
    void SelectPosition(WindowId, int, int) override {}
    void EnableMenuItem(int, bool) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPosition(int) override {}
    void AddListLines(WindowId, int, std::vector<std::string>) override {}
    std::optional<std::string> OpenFileDialog(WindowId, const FileFilter&) override {
        return dialog_path_;
    }
    std::optional<std::string> SaveFileDialog(WindowId, const FileFilter&) override {
        return dialog_path_;
    }
    // The card commands read the results themselves.
    void OpenDataWindow() override {}
    void OpenConfigWindow() override {}
    // The firmware refusal ends the command with status 1.
    void EndProcess(int exit_code) override;

  private:
    bool keep_gmt_ = false;
    std::optional<std::string> dialog_path_;
};
