#pragma once

#include <vector>

#include "link/protocol.h"

// A frame of `letters` whose payload begins with `payload_head`, zeros after.
inline Frame RequestFrame(const char* letters, std::vector<unsigned char> payload_head = {}) {
    payload_head.resize(PAYLOAD_LENGTH);
    return BuildFrame(letters, payload_head.data());
}
inline LinkMessage AsMessage(const Frame& frame) {
    return LinkMessage(frame.begin(), frame.end());
}
