#pragma once
// The window layer of the command line: message boxes go to standard error as
// "CAPTION: TEXT", and the progress bar is a percentage redrawn in place on standard
// error when that is a terminal. The commands take their files and choices from the
// command line, so that no dialog is ever asked.

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "base/window_layer.h"

class ConsoleWindowLayer final : public WindowlessLayer {
  public:
    ConsoleWindowLayer();
    ~ConsoleWindowLayer() override;
    ConsoleWindowLayer(const ConsoleWindowLayer&) = delete;
    ConsoleWindowLayer& operator=(const ConsoleWindowLayer&) = delete;

    MsgAnswer MessageBox(WindowId owner, std::string_view text, std::string_view caption,
                         MsgIcon icon, MsgButtons buttons) override;
    // Called from the reading thread; a message box ends the bar's line first.
    void SetProgressRange(int low, int high) override;
    void SetProgressPosition(int position) override;
    // The firmware refusal ends the command with status 1.
    void EndProcess(int exit_code) override;

    // The text of the last message shown, without its trailing line feeds.
    std::string LastMessage();
    // Runs just before EndProcess ends the process, so that the command can still report.
    void SetBeforeEnd(std::function<void()> before_end);
    // Told each new whole percentage of the bar, terminal or not, with the output lock held.
    void SetPercentWatcher(std::function<void(int percent)> watcher);

  private:
    // Both with output_mutex_ held.
    void DrawProgress();
    void EndProgressLine();

    // Messages and the bar share standard error, and come from several threads.
    std::mutex output_mutex_;
    std::string last_message_;
    std::function<void()> before_end_;
    const bool stderr_is_terminal_;
    int progress_low_ = 0;
    int progress_high_ = 0;  // no range yet: nothing to show
    int progress_position_ = 0;
    int shown_percent_ = -1;  // -1: no bar on the current line
    std::function<void(int)> percent_watcher_;
    int watched_percent_ = -1;
};
