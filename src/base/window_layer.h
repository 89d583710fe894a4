#pragma once
// The one interface through which the core shows anything to the user. The desktop
// program implements it with Qt (marshalling worker-thread calls to the GUI thread),
// the command line with the console, and the tests with a recorder. Text is UTF-8.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/control_ids.h"

enum class MsgIcon { None, Stop, Exclamation, Warning, Information };
enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Yes, No, Cancel };

// What a question that no one answers (a closed window, no display) takes: nothing that
// goes ahead.
MsgAnswer CautiousAnswer(MsgButtons buttons);

struct FileFilter {
    // "Arquivos Morvelta(*.mvta)"; several offered filters are separated by ";;".
    std::string description;
    std::string pattern;            // "*.mvta"
    std::string default_extension;  // "mvta"
};

class WindowLayer {
  public:
    virtual ~WindowLayer() = default;

    // Modal; blocks the calling thread until the user answers.
    virtual MsgAnswer MessageBox(WindowId owner, std::string_view text, std::string_view caption,
                                 MsgIcon icon, MsgButtons buttons) = 0;
    virtual bool WindowExists(WindowId window) = 0;
    virtual void SetWindowTitle(WindowId window, std::string_view title) = 0;
    virtual void EnableControl(WindowId window, int control_id, bool enabled) = 0;
    virtual void SetControlText(WindowId window, int control_id, std::string_view text) = 0;
    virtual std::string ControlText(WindowId window, int control_id) = 0;
    virtual bool IsChecked(WindowId window, int control_id) = 0;
    virtual void SetChecked(WindowId window, int control_id, bool checked) = 0;
    // Puts the keyboard focus on a control, so that the user corrects it at once.
    virtual void FocusControl(WindowId window, int control_id) = 0;
    // Drop-down lists: -1 when nothing is selected.
    virtual int SelectedPosition(WindowId window, int control_id) = 0;
    virtual void SelectPosition(WindowId window, int control_id, int position) = 0;
    virtual void EnableMenuItem(int menu_id, bool enabled) = 0;
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void AddListLines(WindowId window, int list_id, std::vector<std::string> lines) = 0;
    // The chosen path, or nothing when the user cancelled. Called through ChooseFileToOpen
    // and ChooseFileToSave, which keep the last chosen file.
    virtual std::optional<std::string> OpenFileDialog(WindowId owner, const FileFilter& filter) = 0;
    virtual std::optional<std::string> SaveFileDialog(WindowId owner, const FileFilter& filter) = 0;
    // Open a window of the program; the core fills it afterwards.
    virtual void OpenDataWindow() = 0;
    virtual void OpenConfigWindow() = 0;
    // A message that no one waits for: the caller goes on at once. A layer that cannot show
    // it without waiting shows it as a message box.
    virtual void Notify(WindowId owner, std::string_view text, std::string_view caption,
                        MsgIcon icon) {
        MessageBox(owner, text, caption, icon, MsgButtons::Ok);
    }
    // Runs `work` to its end, called from the GUI thread. A desktop runs it off the GUI
    // thread behind a modal busy indicator showing `text`, so that the windows keep painting.
    virtual void RunBusy(std::string_view /*text*/, const std::function<void()>& work) { work(); }
    // Ends the process (rejected firmware). Tests observe it instead.
    virtual void EndProcess(int exit_code) = 0;
};

// A layer with no windows: no control is there to read or change, every file dialog is
// cancelled and every question gets the cautious answer. Programs without a display start
// from it and show what they must in their own way.
class WindowlessLayer : public WindowLayer {
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
    void EndProcess(int exit_code) override;
};

// The layer in use; a silent one (no windows, dialogs cancelled) until one is installed.
WindowLayer& Windows();
void SetWindowLayer(WindowLayer* layer);

// The file dialogs of the layer in use. Each keeps the path it returns as the last chosen file
// (emptied when the user cancels): "Imprimir" looks at it to tell what the data on show is.
std::optional<std::string> ChooseFileToOpen(WindowId owner, const FileFilter& filter);
std::optional<std::string> ChooseFileToSave(WindowId owner, const FileFilter& filter);
std::string LastChosenFile();
// A card read: the data on show comes from no file.
void ForgetLastChosenFile();

// Shorthand for the common OK message box.
void ShowMessage(WindowId owner, std::string_view text, std::string_view caption, MsgIcon icon);
