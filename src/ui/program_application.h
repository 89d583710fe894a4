#pragma once
// The application object, and the desktop program's start and end around it.

#include <QApplication>
#include <functional>
#include <memory>

class QtWindowLayer;

constexpr int PROGRAM_FONT_PIXELS = 11;
class MainWindow;

// Runs the message loop's checks after every event the main loop dispatches, as the loop
// itself would, without a timer: not inside modal loops, whose events are nested.
class ProgramApplication final : public QApplication {
  public:
    ProgramApplication(int& argc, char** argv);
    void SetAfterEachEvent(std::function<void()> check) { after_each_event_ = std::move(check); }
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    std::function<void()> after_each_event_;
    int depth_ = 0;
};

// Qt's own dialog texts in the system's language, and Portuguese where it has none.
void LoadTranslations(QApplication& app);

// The program from start-up to its end: the main window in the disconnected state, the timer
// and operation threads, the checks after every event. Stop() ends the threads before the
// windows go, so that no worker waits on a window that is gone.
class DesktopProgram {
  public:
    DesktopProgram(ProgramApplication& app);
    ~DesktopProgram();
    void Start();
    void Stop();
    QtWindowLayer& Layer() { return *layer_; }
    MainWindow& Main();

  private:
    ProgramApplication& app_;
    std::unique_ptr<QtWindowLayer> layer_;
    bool running_ = false;
};
