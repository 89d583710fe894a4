// The upload's messages as bytes: what the card side builds is what the server accepts,
// and nothing malformed gets through.

#include "cloud/upload_messages.h"

#include <gtest/gtest.h>

TEST(UploadMessages, HeaderBytesAndRoundTrip) {
    ConfigValues values;
    values.serial = 0x12345678;  // only 24 bits travel
    SetDescription(values.descricao, "Camara");
    values.t_low_alarm = 898;    // -10.0
    values.t_high_alarm = 624;   // 25.0
    values.start_delay = 70000;  // low 16 bits
    values.alarm_delay = 600;
    values.sample_points = 32000;
    values.sample_rate = 43200;
    values.temp_unit = 1;
    const CALENDAR stamp{59, 30, 23, 31, 12, 24};
    const Bytes m =
        BuildHeaderMessage(MakeUploadHeader(values, stamp, FirmwareVersion{{'1', '0', '3'}}));
    ASSERT_EQ(m.size(), 53u);
    EXPECT_EQ(Bytes(m.begin(), m.begin() + 4), (Bytes{0xFF, 0x34, 0x56, 0x78}));
    EXPECT_EQ(std::string(m.begin() + 4, m.begin() + 25), "Camara" + std::string(15, ' '));
    EXPECT_EQ(Bytes(m.begin() + 25, m.begin() + 37),
              (Bytes{0xFF, 0x9C, 0x00, 0xFA, 0x11, 0x70, 0x02, 0x58, 0x7D, 0x00, 0xA8, 0xC0}));
    EXPECT_EQ(Bytes(m.begin() + 37, m.begin() + 50),
              (Bytes{23, 30, 59, 31, 12, 24, 0x01, 0x00, 0x03, 1, 0x01, 0x00, 0x04}));
    EXPECT_EQ(Bytes(m.begin() + 50, m.end()), (Bytes{0x70, 0x0D, 0x0A}));  // XOR of 0..49

    const auto parsed = ParseHeaderMessage(m);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->serial, 0x345678);
    EXPECT_EQ(parsed->low_alarm_x10, -100);
    EXPECT_EQ(BuildHeaderMessage(*parsed), m);  // every other field as sent
    for (std::size_t k = 0; k < m.size(); ++k) {
        Bytes damaged = m;
        damaged[k] ^= 0x01;
        EXPECT_FALSE(ParseHeaderMessage(damaged).has_value()) << k;
    }
    EXPECT_FALSE(ParseHeaderMessage(std::span(m).first(52)).has_value());
}

TEST(UploadMessages, DataPacketsCarryTwosComplementTenths) {
    const std::vector<int> tenths = {-125, 250, 0, 1937, -463};
    const Bytes m = BuildDataPacket(tenths);
    // The check byte balances every other byte.
    EXPECT_EQ(m, (Bytes{0x11, 0x00, 0x05, 0xCC, 0xFF, 0x83, 0x00, 0xFA, 0x00, 0x00, 0x07, 0x91,
                        0xFE, 0x31, 0x0D, 0x0A}));
    EXPECT_EQ(ParseDataPacket(m), tenths);
    for (std::size_t k = 0; k < m.size(); ++k) {
        Bytes damaged = m;
        damaged[k] ^= 0x40;
        EXPECT_FALSE(ParseDataPacket(damaged).has_value()) << k;
    }
}

TEST(UploadMessages, ScanningFindsTheEndOfEachMessageAndRefusesTheRest) {
    const Bytes header = BuildHeaderMessage(MakeUploadHeader({}, {}, {}));
    EXPECT_EQ(ScanMessage({}).state, FrameState::NeedMore);
    const FrameScan partial = ScanMessage(std::span(header).first(10));
    EXPECT_EQ(partial.state, FrameState::NeedMore);
    EXPECT_EQ(partial.wanted, 53u);
    EXPECT_EQ(ScanMessage(header).state, FrameState::Complete);

    EXPECT_EQ(ScanMessage(Bytes{0x11, 0x1F}).wanted, 3u);
    EXPECT_EQ(ScanMessage(Bytes{0x11, 0x1F, 0x40}).wanted, 6u + 2 * 8000);
    EXPECT_EQ(ScanMessage(Bytes{0x11, 0x1F, 0x41}).state, FrameState::Invalid);  // 8001
    EXPECT_EQ(ScanMessage(Bytes{0x11, 0x00, 0x00}).state, FrameState::Invalid);  // none
    EXPECT_EQ(ScanMessage(Bytes{'G', 'E', 'T'}).state, FrameState::Invalid);

    EXPECT_TRUE(IsEndMessage(END_MESSAGE));
    EXPECT_FALSE(IsEndMessage(Bytes{'b', 'b', 0x0D, 0x0A, 0x00}));
}

TEST(UploadMessages, ReplyCheckAndFirmwareDigits) {
    EXPECT_FALSE(ReplyPasses(Bytes{'c', 0}));
    EXPECT_FALSE(ReplyPasses(Bytes{'x', 'x'}));
    EXPECT_TRUE(ReplyPasses(Bytes{'c', 'c', 'x', 'y'}));
    EXPECT_EQ(HexToChar('9'), 9);
    EXPECT_EQ(HexToChar('A'), 0x11);
    EXPECT_EQ(static_cast<unsigned char>(HexToChar('\0')), 0xD0);
}
