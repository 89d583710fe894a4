#pragma once
// The window layer on Qt. Calls from the timer, operation and receive threads are queued to
// the GUI thread in the order they were made; a call that needs an answer blocks its worker
// until the GUI thread has answered, and runs at once when the GUI thread makes it itself.

#include <QObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "base/window_layer.h"
#include "logger/memory_image.h"

class ProgramWindow;
class MainWindow;
class DataWindow;
class ConfigWindow;
class AboutBox;
class GraphWindow;

class QtWindowLayer final : public QObject, public WindowLayer {
  public:
    QtWindowLayer();
    ~QtWindowLayer() override;

    // Creates the main window (hidden until shown).
    MainWindow& CreateMainWindow();
    MainWindow* Main() const { return main_; }
    DataWindow* CurrentDataWindow() const { return current_data_; }
    ConfigWindow* CurrentConfigWindow() const { return config_; }
    AboutBox* CurrentAboutBox() const { return about_; }

    void OpenAboutBox();
    // A graph of `image`, maximized on the usable screen area.
    GraphWindow& OpenGraphWindow(const MemoryImage& image);
    GraphWindow* CurrentGraphWindow() const;
    // The data window whose command runs is the one "Dados" means meanwhile.
    void MakeCurrent(DataWindow* window) { current_data_ = window; }
    // A window of the program closed itself.
    void Forget(ProgramWindow* window);
    // The program is ending: workers waiting for an answer get the cautious one at once,
    // and later calls from workers do nothing.
    void Close();
    // The exit code EndProcess asked for, if it did.
    std::optional<int> RequestedExit() const;

    MsgAnswer MessageBox(WindowId owner, std::string_view text, std::string_view caption,
                         MsgIcon icon, MsgButtons buttons) override;
    void Notify(WindowId owner, std::string_view text, std::string_view caption,
                MsgIcon icon) override;
    bool WindowExists(WindowId window) override;
    void SetWindowTitle(WindowId window, std::string_view title) override;
    void EnableControl(WindowId window, int control_id, bool enabled) override;
    void SetControlText(WindowId window, int control_id, std::string_view text) override;
    std::string ControlText(WindowId window, int control_id) override;
    bool IsChecked(WindowId window, int control_id) override;
    void SetChecked(WindowId window, int control_id, bool checked) override;
    void FocusControl(WindowId window, int control_id) override;
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
    void RunBusy(std::string_view text, const std::function<void()>& work) override;
    void EndProcess(int exit_code) override;

  private:
    bool OnGuiThread() const { return QThread::currentThread() == thread(); }
    ProgramWindow* Find(WindowId window) const;
    QWidget* FindControl(WindowId window, int control_id) const;
    QWidget* Owner(WindowId window) const;
    // Queued in call order; dropped once the program is closing.
    void Post(std::function<void()> call);
    // Runs `call` on the GUI thread and waits for its answer, or gives `cautious` when the
    // program closes first.
    template <typename Result>
    Result Ask(std::function<Result()> call, Result cautious);

    MainWindow* main_ = nullptr;
    std::vector<DataWindow*> data_windows_;
    DataWindow* current_data_ = nullptr;
    ConfigWindow* config_ = nullptr;
    AboutBox* about_ = nullptr;
    std::vector<GraphWindow*> graph_windows_;

    mutable std::mutex answer_mutex_;
    std::condition_variable answered_;
    bool closing_ = false;
    std::optional<int> requested_exit_;
};
