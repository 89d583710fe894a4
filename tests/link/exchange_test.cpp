#include "link/exchange.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/serial.h"
#include "logger/clock.h"
#include "logger/logger_commands.h"
#include "logger/main_commands.h"
#include "logger/serial_log.h"
#include "support/link_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The test plays the card on the master side of a pseudo-terminal.
class ExchangeTest : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        RegisterPort(ptsname(master));
        GetPortNames();
        ASSERT_TRUE(connected);
    }
    void TearDown() override {
        LinkTest::TearDown();
        close(master);
    }

    void CardWrites(const std::vector<unsigned char>& bytes) {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Everything the program writes within `ms`, with the time each piece arrived.
    std::vector<std::pair<Clock::time_point, unsigned char>> ProgramWrites(int ms) {
        std::vector<std::pair<Clock::time_point, unsigned char>> bytes;
        const Clock::time_point end = Clock::now() + milliseconds(ms);
        while (Clock::now() < end) {
            pollfd input{master, POLLIN, 0};
            const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
            if (poll(&input, 1, static_cast<int>(std::max<long long>(left, 0))) > 0) {
                unsigned char chunk[256];
                const ssize_t n = read(master, chunk, sizeof chunk);
                for (ssize_t i = 0; i < n; ++i) {
                    bytes.emplace_back(Clock::now(), chunk[i]);
                }
            }
        }
        return bytes;
    }

    int master = -1;
};

std::vector<unsigned char> Bytes(const Frame& frame) {
    return std::vector<unsigned char>(frame.begin(), frame.end());
}

Frame Reply(const char* letters, std::vector<unsigned char> head) {
    unsigned char payload[PAYLOAD_LENGTH] = {};
    std::copy(head.begin(), head.end(), payload);
    return BuildFrame(letters, payload);
}

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
    std::vector<unsigned char> joined = {SC};
    const Frame rd = Reply("RD", {0, 0, '2', 0x12, 0x34});
    joined.insert(joined.end(), rd.begin(), rd.end());
    CardWrites(joined);
    ASSERT_TRUE(Eventually([] { return rx_rd_frame.load(); }, 1000));
    EXPECT_FALSE(wait_sc);
    EXPECT_EQ(ReplyFrame()[6], 0x12);
    auto acks = ProgramWrites(100);
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(acks[0].second, SC);

    // "AJ" is never a reply, and a frame with a bad check byte is dropped: no acknowledge.
    CardWrites(Bytes(Reply("AJ", {})));
    Frame bad = Reply("WR", {});
    bad[54] ^= 1;
    CardWrites(Bytes(bad));
    EXPECT_TRUE(ProgramWrites(100).empty());
    EXPECT_FALSE(rx_write);

    // Byte 55 is outside the check: the frame still counts.
    Frame wr = Reply("WR", {});
    wr[55] = 0x99;
    CardWrites(Bytes(wr));
    EXPECT_TRUE(Eventually([] { return rx_write.load(); }, 1000));

    CardWrites(Bytes(Reply("ER", {})));
    EXPECT_TRUE(Eventually([] { return rx_error.load(); }, 1000));
    ASSERT_TRUE(Eventually([&] { return !windows.Messages().empty(); }, 1000));
    EXPECT_EQ(windows.Messages().back().text, "ERRO");
    EXPECT_EQ(windows.Messages().back().caption, " ");

    // The version reply is shown and ends the receive thread.
    CardWrites(Bytes(Reply("VR", {'1', '.', '0', '3', '1', '2', '0'})));
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
    char pattern[] = "/tmp/razurozavi-write-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    std::ofstream(SERIAL_FILE_NAME) << "5000";
    SetFixedLocalTime(CALENDAR{7, 6, 5, 4, 3, 2025});

    ConfigValues values;
    values.sample_points = 2000;
    values.sample_rate = 300;
    values.serial = SERIAL_NONE;
    values.modo_nuvem = true;
    SetDescription(values.descricao, "Camara fria 01 - sul");  // exactly 20
    EXPECT_TRUE(WriteConfigToCard(values));
    const auto bytes = ProgramWrites(200);

    SetFixedLocalTime(std::nullopt);
    std::ostringstream log;
    log << std::ifstream(CONFIG_LOG_FILE_NAME).rdbuf();
    std::ostringstream last_serial;
    last_serial << std::ifstream(SERIAL_FILE_NAME).rdbuf();
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);

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
    EXPECT_EQ((p[7] << 8) | p[8], 2000);
    EXPECT_EQ((p[9] << 8) | p[10], 300);
    EXPECT_EQ(values.serial, 4999);
    EXPECT_EQ((p[28] << 16) | (p[29] << 8) | p[30], 4999);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 31), 20), "Camara fria 01 - sul");
    EXPECT_EQ(p[51], 0);      // the description's NUL
    EXPECT_EQ(frame[55], 1);  // cloud mode, outside the check byte
    EXPECT_EQ(last_serial.str(), "4999");
    EXPECT_NE(log.str().find("03/04/25, 05:06:07 , 4999,"), std::string::npos) << log.str();
    EXPECT_NE(log.str().find("Camara fria 01 - sul\r"), std::string::npos);
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_SERIAL), "4999");
}

}  // namespace
