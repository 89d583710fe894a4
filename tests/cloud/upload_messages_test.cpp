// The upload's messages as bytes: what the card side builds is what the server accepts,
// and nothing malformed gets through.

#include "cloud/upload_messages.h"

#include <gtest/gtest.h>

namespace {

UploadHeader SampleHeader() {
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
    FirmwareVersion firmware;
    firmware.digits[0] = '1';
    firmware.digits[1] = '0';
    firmware.digits[2] = '3';
    return MakeUploadHeader(values, CALENDAR{59, 30, 23, 31, 12, 24}, firmware);
}

}  // namespace

TEST(UploadMessages, HeaderBytesAndRoundTrip) {
    const Bytes m = BuildHeaderMessage(SampleHeader());
    ASSERT_EQ(m.size(), 53u);
    EXPECT_EQ(Bytes(m.begin(), m.begin() + 4), (Bytes{0xFF, 0x34, 0x56, 0x78}));
    EXPECT_EQ(std::string(m.begin() + 4, m.begin() + 25), "Camara" + std::string(15, ' '));
    EXPECT_EQ(Bytes(m.begin() + 25, m.begin() + 37),
              (Bytes{0xFF, 0x9C, 0x00, 0xFA, 0x11, 0x70, 0x02, 0x58, 0x7D, 0x00, 0xA8, 0xC0}));
    EXPECT_EQ(Bytes(m.begin() + 37, m.begin() + 50),
              (Bytes{23, 30, 59, 31, 12, 24, 0x01, 0x00, 0x03, 1, 0x01, 0x00, 0x04}));
    std::uint8_t check = 0;
    for (int k = 0; k < 50; ++k) {
        check ^= m[k];
    }
    EXPECT_EQ(m[50], check);
    EXPECT_EQ(m[51], 0x0D);
    EXPECT_EQ(m[52], 0x0A);

    const auto parsed = ParseHeaderMessage(m);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->serial, 0x345678);
    EXPECT_EQ(parsed->low_alarm_x10, -100);
    EXPECT_EQ(parsed->high_alarm_x10, 250);
    EXPECT_EQ(parsed->start_delay, 70000 & 0xFFFF);
    EXPECT_EQ(parsed->stamp, (CALENDAR{59, 30, 23, 31, 12, 24}));
    EXPECT_EQ(parsed->firmware, (std::array<std::uint8_t, 3>{1, 0, 3}));

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
    ASSERT_EQ(m.size(), 6u + 2 * tenths.size());
    EXPECT_EQ(Bytes(m.begin(), m.begin() + 3), (Bytes{0x11, 0x00, 0x05}));
    EXPECT_EQ(m[4], 0xFF);
    EXPECT_EQ(m[5], 0x83);
    std::uint8_t all = 0;
    for (const std::uint8_t b : m) {
        all ^= b;
    }
    EXPECT_EQ(all, 0);  // the check byte balances every other byte
    EXPECT_EQ(ParseDataPacket(m), tenths);

    for (std::size_t k = 0; k < m.size(); ++k) {
        Bytes damaged = m;
        damaged[k] ^= 0x40;
        EXPECT_FALSE(ParseDataPacket(damaged).has_value()) << k;
    }

    EXPECT_EQ(DataPacketCount(0), 0);
    EXPECT_EQ(DataPacketCount(8000), 1);
    EXPECT_EQ(DataPacketCount(8001), 2);
    EXPECT_EQ(DataPacketCount(32000), 4);
}

TEST(UploadMessages, ScanningFindsTheEndOfEachMessageAndRefusesTheRest) {
    const Bytes header = BuildHeaderMessage(SampleHeader());
    EXPECT_EQ(ScanMessage({}).state, FrameState::NeedMore);
    const FrameScan partial = ScanMessage(std::span(header).first(10));
    EXPECT_EQ(partial.state, FrameState::NeedMore);
    EXPECT_EQ(partial.wanted, 53u);
    EXPECT_EQ(ScanMessage(header).state, FrameState::Complete);

    const Bytes start = {0x11, 0x1F};
    EXPECT_EQ(ScanMessage(start).wanted, 3u);
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
    EXPECT_EQ(HexToChar('0'), 0);
    EXPECT_EQ(HexToChar('9'), 9);
    EXPECT_EQ(HexToChar('A'), 0x11);
    EXPECT_EQ(static_cast<unsigned char>(HexToChar('\0')), 0xD0);
}
