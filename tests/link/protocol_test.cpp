#include "link/protocol.h"

#include <gtest/gtest.h>

namespace {
using Clock = std::chrono::steady_clock;

const unsigned char kVersion[PAYLOAD_LENGTH] = {'1', '.', '0', '3', '1', '2', '0'};

TEST(Protocol, FramesCheckByteAndReceiveSplitter) {
    const unsigned char zero[PAYLOAD_LENGTH] = {};
    const Frame request = BuildFrame("VR", zero);
    EXPECT_EQ((std::array{request[0], request[1], request[2], request[56], request[57]}),
              (std::array<unsigned char, 5>{0x7E, 0x56, 0x52, 0x04, 0x7E}));
    Frame reply = BuildFrame("VR", kVersion);
    reply[55] ^= 0xFF;  // outside the check byte's reach
    EXPECT_TRUE(IsValidFrame(reply.data(), reply.size()));
    reply[54] ^= 0x01;
    EXPECT_FALSE(IsValidFrame(reply.data(), reply.size()));

    reply = BuildFrame("VR", kVersion);
    const LinkMessage whole(reply.begin(), reply.end());
    const Clock::time_point t0 = Clock::now();
    ReceiveSplitter splitter;
    const auto feed = [&](std::vector<unsigned char> bytes, Clock::time_point at) {
        return SplitReceived(splitter, bytes.data(), bytes.size(), at);
    };
    // Splitter: acknowledge and reply in one read, then two frames back to back.
    std::vector<unsigned char> bytes = {SC};
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    std::vector<LinkMessage> messages = feed(bytes, t0);
    EXPECT_EQ(messages, (std::vector<LinkMessage>{{SC}, whole, whole}));
    // Junk, a frame with a bad check, then a good frame split over two reads.
    Frame corrupt = reply;
    corrupt[20] ^= 0x40;
    bytes = {0x00, 0x7E, 0x13};
    bytes.insert(bytes.end(), corrupt.begin(), corrupt.end());
    bytes.insert(bytes.end(), reply.begin(), reply.begin() + 30);
    EXPECT_TRUE(feed(bytes, t0).empty());
    messages = feed({reply.begin() + 30, reply.end()}, t0 + std::chrono::milliseconds(5));
    EXPECT_EQ(messages, std::vector<LinkMessage>{whole});
    // An incomplete frame that goes stale is dropped; what follows is taken.
    const Clock::time_point t1 = t0 + std::chrono::milliseconds(10);
    EXPECT_TRUE(feed({reply.begin(), reply.begin() + 40}, t1).empty());
    bytes.assign(1, SC);
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    messages = feed(bytes, t1 + std::chrono::milliseconds(INCOMPLETE_FRAME_TIMEOUT_MS + 50));
    EXPECT_EQ(messages, (std::vector<LinkMessage>{{SC}, whole}));
    // A reply damaged on the line, its data holding 0xE5: dropped whole, no acknowledge.
    unsigned char readings[PAYLOAD_LENGTH] = {0x00, 0x32, '2', 0x01, SC, SC, 0x02};
    Frame damaged = BuildFrame("RD", readings);
    damaged[30] ^= 0x10;
    EXPECT_TRUE(
        feed({damaged.begin(), damaged.end()}, t1 + std::chrono::milliseconds(200)).empty());
    EXPECT_TRUE(splitter.pending.empty());
}
}  // namespace
