// What arrives from a serial line or a network peer is untrusted: the card's receive
// splitter and the collection server's message parsers must take any bytes.

#include <cstddef>
#include <cstdint>
#include <span>

#include "cloud/upload_messages.h"
#include "link/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Feed the line in pieces whose sizes come from the input itself.
    ReceiveSplitter splitter;
    auto now = std::chrono::steady_clock::time_point{};
    std::size_t at = 0;
    while (at < size) {
        const std::size_t piece = 1 + data[at] % 64;
        const std::size_t n = piece < size - at ? piece : size - at;
        for (const LinkMessage& message : SplitReceived(splitter, data + at, n, now)) {
            if (message.size() == FRAME_LENGTH) {
                DecodeCommand(message.data() + 1);
            }
        }
        now += std::chrono::milliseconds(data[at] % 150);
        at += n;
    }

    const std::span<const std::uint8_t> bytes(data, size);
    const FrameScan scan = ScanMessage(bytes);
    if (scan.state == FrameState::Complete && scan.wanted <= size) {
        const auto message = bytes.first(scan.wanted);
        ParseHeaderMessage(message);
        ParseDataPacket(message);
        IsEndMessage(message);
    }
    ReplyPasses(bytes);
    return 0;
}
