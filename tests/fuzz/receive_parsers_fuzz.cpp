// The card's splitter and the collection server's message parsers take any bytes.

#include <cstddef>
#include <cstdint>
#include <span>

#include "cloud/upload_messages.h"
#include "line_pieces.h"
#include "link/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SplitAsTheLineDelivers(data, size, [](const LinkMessage& message) {
        if (message.size() == FRAME_LENGTH) {
            DecodeCommand(message.data() + 1);
        }
    });

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
