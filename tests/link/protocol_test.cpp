#include "link/protocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

Frame VersionReply() {
    unsigned char payload[PAYLOAD_LENGTH] = {'1', '.', '0', '3', '1', '2', '0'};
    return BuildFrame("VR", payload);
}

TEST(Protocol, FramesMatchTheDocumentedBytesAndTheCheckLeavesByte55Uncovered) {
    const unsigned char zero[PAYLOAD_LENGTH] = {};
    const Frame request = BuildFrame("VR", zero);
    EXPECT_EQ(request[0], 0x7E);
    EXPECT_EQ(request[1], 0x56);
    EXPECT_EQ(request[2], 0x52);
    EXPECT_EQ(request[56], 0x04);
    EXPECT_EQ(request[57], 0x7E);
    Frame reply = VersionReply();
    EXPECT_EQ(reply[3], 0x31);
    EXPECT_EQ(reply[9], 0x30);
    EXPECT_EQ(reply[56], 0x2B);
    EXPECT_EQ(VersionText(reply.data()), "Firmware\t\tV1.03 \nHardware\t\tV120");
    unsigned char read[PAYLOAD_LENGTH] = {0x00, 0x32, RD_COUNT_CHUNK};
    EXPECT_EQ(BuildFrame("RD", read)[56], 0x16);

    reply[55] ^= 0xFF;
    EXPECT_TRUE(IsValidFrame(reply.data(), reply.size()));
    reply[54] ^= 0x01;
    EXPECT_FALSE(IsValidFrame(reply.data(), reply.size()));
    EXPECT_FALSE(IsValidFrame(VersionReply().data(), FRAME_LENGTH - 1));
}

TEST(Protocol, DecodeCommandKnowsOnlyReplyLetters) {
    const char* letters[] = {"BT", "DT", "ER", "FM", "RD", "VR", "WR"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(DecodeCommand(reinterpret_cast<const unsigned char*>(letters[i])), i + 2);
    }
    EXPECT_GT(DecodeCommand(reinterpret_cast<const unsigned char*>("AJ")), 8);
    EXPECT_GT(DecodeCommand(reinterpret_cast<const unsigned char*>("rd")), 8);
}

TEST(Protocol, SplitterSeparatesWhatArrivesTogetherResynchronisesAndDropsStaleFrames) {
    const Frame reply = VersionReply();
    const LinkMessage whole(reply.begin(), reply.end());
    const Clock::time_point t0 = Clock::now();
    const auto feed = [](ReceiveSplitter& splitter, std::vector<unsigned char> bytes,
                         Clock::time_point at) {
        return SplitReceived(splitter, bytes.data(), bytes.size(), at);
    };

    // Acknowledge and reply in one read, then two frames back to back.
    ReceiveSplitter splitter;
    std::vector<unsigned char> bytes = {SC};
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    std::vector<LinkMessage> messages = feed(splitter, bytes, t0);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], LinkMessage{SC});
    EXPECT_EQ(messages[2], whole);

    // Junk, a frame with a bad check, then a good frame split over two reads.
    Frame corrupt = reply;
    corrupt[20] ^= 0x40;
    bytes = {0x00, 0x7E, 0x13};
    bytes.insert(bytes.end(), corrupt.begin(), corrupt.end());
    bytes.insert(bytes.end(), reply.begin(), reply.begin() + 30);
    EXPECT_TRUE(feed(splitter, bytes, t0).empty());
    messages = feed(splitter, {reply.begin() + 30, reply.end()}, t0 + std::chrono::milliseconds(5));
    EXPECT_EQ(messages, std::vector<LinkMessage>{whole});
    EXPECT_TRUE(splitter.pending.empty());

    // An incomplete frame that goes stale is dropped; what follows is taken.
    const Clock::time_point t1 = t0 + std::chrono::milliseconds(10);
    EXPECT_TRUE(feed(splitter, {reply.begin(), reply.begin() + 40}, t1).empty());
    bytes.assign(1, SC);
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    messages =
        feed(splitter, bytes, t1 + std::chrono::milliseconds(INCOMPLETE_FRAME_TIMEOUT_MS + 50));
    EXPECT_EQ(messages, (std::vector<LinkMessage>{{SC}, whole}));
}

}  // namespace
