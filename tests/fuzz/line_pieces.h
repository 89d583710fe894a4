#pragma once
// Fuzz input to the receive splitter in pieces and with gaps, sized by the input itself.

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "link/protocol.h"

template <typename TakeMessage>
void SplitAsTheLineDelivers(const std::uint8_t* data, std::size_t size, TakeMessage take) {
    ReceiveSplitter splitter;
    auto now = std::chrono::steady_clock::time_point{};
    std::size_t at = 0;
    while (at < size) {
        const std::size_t piece = 1 + data[at] % 64;
        const std::size_t n = piece < size - at ? piece : size - at;
        for (const LinkMessage& message : SplitReceived(splitter, data + at, n, now)) {
            take(message);
        }
        now += std::chrono::milliseconds(data[at] % 150);
        at += n;
    }
}
