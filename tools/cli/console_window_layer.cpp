#include "console_window_layer.h"

#include <cstdio>
#include <cstdlib>

MsgAnswer ConsoleWindowLayer::MessageBox(WindowId, std::string_view text, std::string_view caption,
                                         MsgIcon, MsgButtons buttons) {
    // Drop the trailing line feeds some texts carry; one message is one line.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    const std::size_t first = caption.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    } else {
        caption.remove_prefix(first);
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data());
    }
    return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
}

void ConsoleWindowLayer::EndProcess(int) {
    // Called from the timer thread while other threads run: leave without running
    // destructors under their feet.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(1);
}
