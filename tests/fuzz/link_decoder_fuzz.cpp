// The card's line is untrusted: splitter, frame decoder and configuration-read reply take any
// bytes, and no flag rises for bytes that are not a valid frame of its kind.

#include <cstddef>
#include <cstdint>

#include "line_pieces.h"
#include "link/exchange.h"
#include "logger/config_values.h"
#include "logger/memory_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SplitAsTheLineDelivers(data, size, [](const LinkMessage& message) {
        rx_rd_frame = false;
        rx_dt_frame = false;
        rx_bt_frame = false;
        wait_sc = true;
        rx_sc = false;
        DecodeFrame(message);
        const bool frame = IsValidFrame(message.data(), message.size());
        const bool ack = message.size() == SC_LENGTH && message[0] == SC;
        if (!frame && !ack) {
            __builtin_trap();  // the splitter hands on acknowledges and valid frames only
        }
        if ((rx_rd_frame || rx_dt_frame || rx_bt_frame) && !frame) {
            __builtin_trap();
        }
        if (rx_sc && !ack) {
            __builtin_trap();
        }
        if (rx_rd_frame) {
            // The configuration-read reply: the record starts where memory bytes do.
            const Frame reply = ReplyFrame();
            const ConfigValues values = ConfigFromHeader(reply.data() + RD_DATA_OFFSET);
            DescriptionBytes(values.descricao.data());
        }
    });
    return 0;
}
