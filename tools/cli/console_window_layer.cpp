#include "console_window_layer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int PROGRESS_BAR_WIDTH = 40;  // characters between the brackets

}  // namespace

ConsoleWindowLayer::ConsoleWindowLayer() : stderr_is_terminal_(isatty(STDERR_FILENO) == 1) {}

ConsoleWindowLayer::~ConsoleWindowLayer() {
    std::lock_guard lock(output_mutex_);
    EndProgressLine();
}

MsgAnswer ConsoleWindowLayer::MessageBox(WindowId, std::string_view text, std::string_view caption,
                                         MsgIcon, MsgButtons buttons) {
    // Drop the trailing line feeds some texts carry; one message is one line.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    std::lock_guard lock(output_mutex_);
    EndProgressLine();
    last_message_ = text;
    const std::size_t first = caption.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    } else {
        caption.remove_prefix(first);
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data());
    }
    // Nobody answers a console: a yes-or-no goes ahead as before, a question that can be
    // cancelled is.
    return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : CautiousAnswer(buttons);
}

void ConsoleWindowLayer::SetProgressRange(int low, int high) {
    std::lock_guard lock(output_mutex_);
    progress_low_ = low;
    progress_high_ = high;
    DrawProgress();
}

void ConsoleWindowLayer::SetProgressPosition(int position) {
    std::lock_guard lock(output_mutex_);
    progress_position_ = position;
    DrawProgress();
}

void ConsoleWindowLayer::DrawProgress() {
    // Nothing before the range is known, nor for the rewound bar of an operation that ended.
    if (progress_high_ <= progress_low_ || progress_position_ <= progress_low_) {
        return;
    }
    const long long done = progress_position_ - progress_low_;
    const long long span = progress_high_ - progress_low_;
    const int percent = static_cast<int>(std::min(done * 100 / span, 100LL));
    if (percent_watcher_ && percent != watched_percent_) {
        watched_percent_ = percent;
        percent_watcher_(percent);
    }
    if (!stderr_is_terminal_ || percent == shown_percent_) {
        return;
    }
    shown_percent_ = percent;
    const int filled = percent * PROGRESS_BAR_WIDTH / 100;
    const std::string bar =
        std::string(filled, '#') + std::string(PROGRESS_BAR_WIDTH - filled, ' ');
    std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), percent);
    std::fflush(stderr);
}

void ConsoleWindowLayer::EndProgressLine() {
    if (shown_percent_ >= 0) {
        std::fputc('\n', stderr);
        shown_percent_ = -1;
    }
}

void ConsoleWindowLayer::EndProcess(int) {
    // Called from the timer thread while other threads run: leave without running
    // destructors under their feet.
    std::function<void()> before_end;
    {
        std::lock_guard lock(output_mutex_);
        EndProgressLine();
        before_end = before_end_;
    }
    if (before_end) {
        before_end();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::quick_exit(1);  // runs what registered with at_quick_exit, and no destructor
}

std::string ConsoleWindowLayer::LastMessage() {
    std::lock_guard lock(output_mutex_);
    return last_message_;
}

void ConsoleWindowLayer::SetBeforeEnd(std::function<void()> before_end) {
    std::lock_guard lock(output_mutex_);
    before_end_ = std::move(before_end);
}

void ConsoleWindowLayer::SetPercentWatcher(std::function<void(int percent)> watcher) {
    std::lock_guard lock(output_mutex_);
    percent_watcher_ = std::move(watcher);
    watched_percent_ = -1;
}
