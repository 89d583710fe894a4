#include "link/exchange.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "app/main_commands.h"
#include "link/serial.h"
#include "logger/clock.h"
#include "logger/logger_commands.h"
#include "logger/serial_log.h"
#include "support/link_fixture.h"
#include "support/scoped_time_zone.h"
#include "support/temp_dir.h"

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class ExchangeTest : public PtyCardTest {
  protected:
    // What the program writes within `ms`, at most `count` bytes, each with its time.
    std::vector<std::pair<Clock::time_point, unsigned char>> ProgramWrites(
        int ms, std::size_t count = SIZE_MAX) {
        std::vector<std::pair<Clock::time_point, unsigned char>> bytes;
        for (const auto end = Clock::now() + milliseconds(ms);
             Clock::now() < end && bytes.size() < count;) {
            pollfd input{pty.master, POLLIN, 0};
            unsigned char byte;
            if (poll(&input, 1, 1) > 0 && read(pty.master, &byte, 1) == 1) {
                bytes.emplace_back(Clock::now(), byte);
            }
        }
        return bytes;
    }
    std::vector<unsigned char> WrittenFrame() {
        std::vector<unsigned char> frame;
        for (const auto& timed : ProgramWrites(5000, FRAME_LENGTH)) {
            frame.push_back(timed.second);
        }
        return frame;
    }
};

TEST_F(ExchangeTest, PacedUnansweredFrameGoesOutFourTimesThenFails) {
    std::copy_n("103", 3, versao_firmware.begin());  // a known card: no version query of its own
    StartRxThread();
    StartTimerThread();
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
        EXPECT_TRUE(gap > milliseconds(1050) && gap < milliseconds(1300)) << "resend " << k;
    }
    // The failure comes on the tick of the third resend, not a wait later.
    EXPECT_LT(failed - bytes[3 * FRAME_LENGTH].first, milliseconds(60));
    // After a cancel the wait ends quietly: no resend, no error.
    rx_error = false;
    StartRxThread();
    WeatherStationVersion();
    CommandCancel();
    EXPECT_EQ(ProgramWrites(2500).size(), static_cast<size_t>(FRAME_LENGTH));
    EXPECT_FALSE(rx_error);
}

// A frame just sent waits its ticks before a resend, even when a tick runs inside SendFrame.
TEST_F(ExchangeTest, AFreshFrameIsNeverResentAtOnce) {
    ClosePort();
    hPort = open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(hPort, 0);
    std::atomic<bool> run{true};
    std::atomic<long> ticks{0};
    std::thread ticker([&] {
        while (run) {
            LinkTick(true, false);
            ticks.fetch_add(1);
        }
    });
    const unsigned char payload[PAYLOAD_LENGTH] = {};
    int checked = 0, early_resends = 0;
    // Enough sends to meet the tick in every phase, few enough for a loaded machine.
    for (int k = 0; k < 3000; ++k) {
        resend_timer = 1000;  // the counter runs on while no frame waits
        const long before = ticks;
        SendFrame("RD", payload);
        wait_sc = false;  // acknowledged at once
        const long acknowledged = ticks;
        while (ticks < acknowledged + 2) {  // a tick in progress has ended
            std::this_thread::yield();
        }
        if (ticks - before <= RESEND_TICKS) {  // too few ticks for a due resend
            ++checked;
            early_resends += n_send != N_SEREND_TIMES;
        }
    }
    run = false;
    ticker.join();
    EXPECT_EQ(early_resends, 0);
    EXPECT_GT(checked, 100);
}

// The card's clock keeps UTC, the log the PC's local time.
TEST_F(ExchangeTest, ConfigurationWriteSetsTheCardsClockToUtcAndLogsLocalTime) {
    ScopedTimeZone in_tokyo("Asia/Tokyo");
    {
        TempWorkingDir dir;
        WriteFileBytes(SERIAL_FILE_NAME, "5000");
        SetFixedLocalTime(CALENDAR{7, 6, 5, 4, 3, 2025});
        ConfigValues values{.sample_points = 2000, .sample_rate = 300, .modo_nuvem = true};
        SetDescription(values.descricao, "Camara fria 01 - sul");  // exactly 20
        EXPECT_TRUE(WriteConfigToCard(values));
        const std::vector<unsigned char> frame = WrittenFrame();
        SetFixedLocalTime(std::nullopt);
        ASSERT_EQ(frame.size(), size_t(FRAME_LENGTH));
        EXPECT_TRUE(IsValidFrame(frame.data(), frame.size()));
        const unsigned char* p = frame.data() + PAYLOAD_OFFSET;
        EXPECT_EQ(std::vector<unsigned char>(p, p + 7),
                  (std::vector<unsigned char>{7, 6, 20, 3, 3, 0x07, 0xE9}));
        EXPECT_EQ((p[28] << 16) | (p[29] << 8) | p[30], 4999);
        EXPECT_EQ(frame[55], 1);  // cloud mode, outside the check byte
        const std::string log = ReadFileBytes(CONFIG_LOG_FILE_NAME);
        EXPECT_NE(log.find("03/04/25, 05:06:07 , 4999,"), std::string::npos) << log;
        EXPECT_NE(log.find("Camara fria 01 - sul\r"), std::string::npos);
    }
    // The running clock too: the hour sent is the system's UTC one, not Tokyo's.
    TempWorkingDir dir;
    ConfigValues values{.sample_points = 2000, .sample_rate = 300, .serial = 77};
    const std::time_t before = std::time(nullptr);
    EXPECT_TRUE(WriteConfigToCard(values));
    const std::time_t after = std::time(nullptr);
    const std::vector<unsigned char> frame = WrittenFrame();
    ASSERT_EQ(frame.size(), size_t(FRAME_LENGTH));
    std::tm early{}, late{};
    gmtime_r(&before, &early);
    gmtime_r(&after, &late);
    const int hour = frame[PAYLOAD_OFFSET + 2];
    EXPECT_TRUE(hour == early.tm_hour || hour == late.tm_hour) << hour;
}

TEST_F(ExchangeTest, ConfigurationThatCannotBeSentIsNotLoggedAsWritten) {
    TempWorkingDir dir;
    Unplug();
    ConfigValues values{.sample_points = 2000, .sample_rate = 300};
    EXPECT_FALSE(WriteConfigToCard(values));
    EXPECT_FALSE(connected);
    EXPECT_FALSE(std::filesystem::exists(CONFIG_LOG_FILE_NAME));
}
}  // namespace
