#include "link/exchange.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>

#include "link/serial.h"
#include "logger/clock.h"
#include "logger/logger_commands.h"
#include "logger/main_commands.h"
#include "logger/serial_log.h"
#include "simcard/card_line.h"
#include "support/link_fixture.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The test plays the card on the master side of a pseudo-terminal.
class ExchangeTest : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        ASSERT_FALSE(pty.slave.empty());
        RegisterPort(pty.slave);
        GetPortNames();
        ASSERT_TRUE(connected);
    }

    void CardWrites(const LinkMessage& bytes) {
        ASSERT_EQ(write(pty.master, bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    // Everything the program writes within `ms`, with the time each byte arrived.
    std::vector<std::pair<Clock::time_point, unsigned char>> ProgramWrites(int ms) {
        std::vector<std::pair<Clock::time_point, unsigned char>> bytes;
        const Clock::time_point end = Clock::now() + milliseconds(ms);
        for (auto left = milliseconds(ms); left.count() > 0;
             left = std::chrono::duration_cast<milliseconds>(end - Clock::now())) {
            pollfd input{pty.master, POLLIN, 0};
            unsigned char chunk[256];
            if (poll(&input, 1, static_cast<int>(left.count())) > 0) {
                for (ssize_t i = 0, n = read(pty.master, chunk, sizeof chunk); i < n; ++i) {
                    bytes.emplace_back(Clock::now(), chunk[i]);
                }
            }
        }
        return bytes;
    }

    TestPty pty;
};

TEST_F(ExchangeTest, DecoderAcknowledgesRepliesAndRaisesTheirFlags) {
    StartRxThread();

    // A stray acknowledge sets nothing; one that is awaited is taken.
    CardWrites({SC});
    EXPECT_FALSE(Eventually([] { return rx_sc.load(); }, 100));
    wait_sc = true;
    CardWrites({SC});
    EXPECT_TRUE(Eventually([] { return rx_sc && !wait_sc; }, 1000));

    // Acknowledge and reply in one write: both taken, the reply acknowledged.
    wait_sc = true;
    LinkMessage joined = AsMessage(RequestFrame("RD", {0, 0, '2', 0x12, 0x34}));
    joined.insert(joined.begin(), SC);
    CardWrites(joined);
    ASSERT_TRUE(Eventually([] { return rx_rd_frame.load(); }, 1000));
    EXPECT_FALSE(wait_sc);
    EXPECT_EQ(ReplyFrame()[6], 0x12);
    auto acks = ProgramWrites(100);
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(acks[0].second, SC);

    // "AJ" is never a reply, and a frame with a bad check byte is dropped: no acknowledge.
    CardWrites(AsMessage(RequestFrame("AJ")));
    Frame bad = RequestFrame("WR");
    bad[54] ^= 1;
    CardWrites(AsMessage(bad));
    EXPECT_TRUE(ProgramWrites(100).empty());
    EXPECT_FALSE(rx_write);

    CardWrites(AsMessage(RequestFrame("WR")));
    EXPECT_TRUE(Eventually([] { return rx_write.load(); }, 1000));

    CardWrites(AsMessage(RequestFrame("ER")));
    EXPECT_TRUE(Eventually([] { return rx_error.load(); }, 1000));
    ASSERT_TRUE(Eventually([&] { return !windows.Messages().empty(); }, 1000));
    EXPECT_EQ(windows.Messages().back().text, "ERRO");
    EXPECT_EQ(windows.Messages().back().caption, " ");

    // The version reply is shown and ends the receive thread.
    CardWrites(AsMessage(RequestFrame("VR", {'1', '.', '0', '3', '1', '2', '0'})));
    ASSERT_TRUE(Eventually([] { return !rx_enable; }, 1000));
    EXPECT_EQ(FirmwareNumber(), 103);
    EXPECT_EQ(windows.Messages().back().text, "Firmware\t\tV1.03 \nHardware\t\tV120");
    EXPECT_EQ(windows.Messages().back().caption, "Informações do Razurozavi");
}

TEST_F(ExchangeTest, UnansweredFrameGoesOutFourTimesThenFails) {
    versao_firmware[0] = '1';  // a known card: no version query of its own
    versao_firmware[1] = '0';
    versao_firmware[2] = '3';
    StartRxThread();
    StartTimerThread();
    const Clock::time_point sent = Clock::now();
    WeatherStationVersion();
    Clock::time_point failed{};
    std::thread watch([&] {
        Eventually([] { return rx_error.load(); }, 5000);
        failed = Clock::now();
    });
    const auto bytes = ProgramWrites(4000);
    watch.join();
    ASSERT_EQ(bytes.size(), 4u * FRAME_LENGTH);
    for (int k = 1; k < 4; ++k) {
        const auto gap = bytes[k * FRAME_LENGTH].first - bytes[(k - 1) * FRAME_LENGTH].first;
        EXPECT_GT(gap, milliseconds(1050)) << "resend " << k;
        EXPECT_LT(gap, milliseconds(1300)) << "resend " << k;
    }
    // The failure comes on the tick of the third resend, not a wait later.
    EXPECT_LT(failed - bytes[3 * FRAME_LENGTH].first, milliseconds(60));
    EXPECT_GT(failed - sent, milliseconds(3200));
    EXPECT_FALSE(rx_enable);
    EXPECT_FALSE(wait_sc);

    // After a cancel the wait ends quietly: no resend, no error.
    rx_error = false;
    StartRxThread();
    WeatherStationVersion();
    CommandCancel();
    EXPECT_EQ(ProgramWrites(2500).size(), static_cast<size_t>(FRAME_LENGTH));
    EXPECT_FALSE(rx_error);
}

TEST_F(ExchangeTest, ConfigurationWriteSendsTheRecordAndLogsIt) {
    TempWorkingDir dir;
    WriteFileBytes(SERIAL_FILE_NAME, "5000");
    SetFixedLocalTime(CALENDAR{7, 6, 5, 4, 3, 2025});
    ConfigValues values{.sample_points = 2000, .sample_rate = 300, .modo_nuvem = true};
    SetDescription(values.descricao, "Camara fria 01 - sul");  // exactly 20
    EXPECT_TRUE(WriteConfigToCard(values));
    const auto bytes = ProgramWrites(200);
    SetFixedLocalTime(std::nullopt);

    ASSERT_EQ(bytes.size(), static_cast<size_t>(FRAME_LENGTH));
    std::vector<unsigned char> frame;
    for (const auto& timed : bytes) {
        frame.push_back(timed.second);
    }
    EXPECT_TRUE(IsValidFrame(frame.data(), frame.size()));
    EXPECT_EQ(std::string(frame.begin() + 1, frame.begin() + 3), "AJ");
    const unsigned char* p = frame.data() + PAYLOAD_OFFSET;
    EXPECT_EQ(std::vector<unsigned char>(p, p + 7),
              (std::vector<unsigned char>{7, 6, 5, 4, 3, 2025 >> 8, 2025 & 0xFF}));
    EXPECT_EQ(values.serial, 4999);
    EXPECT_EQ((p[28] << 16) | (p[29] << 8) | p[30], 4999);
    EXPECT_EQ(frame[55], 1);  // cloud mode, outside the check byte
    EXPECT_EQ(ReadFileBytes(SERIAL_FILE_NAME), "4999");
    const std::string log = ReadFileBytes(CONFIG_LOG_FILE_NAME);
    EXPECT_NE(log.find("03/04/25, 05:06:07 , 4999,"), std::string::npos) << log;
    EXPECT_NE(log.find("Camara fria 01 - sul\r"), std::string::npos);
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_SERIAL), "4999");
}

}  // namespace
