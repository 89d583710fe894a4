// The simulated card over its pseudo-terminal: every request answered byte for byte, the
// configuration write and its recording, the faults, the line's pace and the registration.

#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "simcard/card_line.h"
#include "simcard/simulated_card.h"
#include "support/link_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The reply to a read of `count` bytes at `address`: its head, then the memory's bytes
// (zeros past the end of the memory).
LinkMessage ReadReply(const MemoryImage& memory, int address, unsigned char count) {
    std::vector<unsigned char> payload = {static_cast<unsigned char>(address >> 8),
                                          static_cast<unsigned char>(address & 0xFF), count};
    for (int k = address; k < address + count; ++k) {
        payload.push_back(k < MEMORY_SIZE ? memory[k] : 0);
    }
    return AsMessage(RequestFrame("RD", payload));
}

std::vector<CardFault> Faults(std::initializer_list<const char*> texts) {
    std::vector<CardFault> faults;
    std::string why;
    for (const char* text : texts) {
        faults.push_back(*ParseCardFault(text, &why));
    }
    return faults;
}

class SimulatedCardTest : public ::testing::Test {
  protected:
    void StartCard(SimulatedCardOptions options = {}) {
        card = std::make_unique<SimulatedCard>(options);
        std::string why;
        ASSERT_TRUE(card->Start(&why)) << why;
        line = std::make_unique<CardLine>(card->PortPath());
        ASSERT_TRUE(line->IsOpen());
    }

    std::unique_ptr<SimulatedCard> card;
    std::unique_ptr<CardLine> line;
};

}  // namespace

TEST_F(SimulatedCardTest, AnswersEveryRequestWithAcknowledgeThenReplyByteForByte) {
    StartCard();
    MemoryImage memory;  // every byte value, the line's special ones (0x7E, 0xE5, ...) included
    for (int k = 0; k < MEMORY_SIZE; ++k) {
        memory[k] = static_cast<std::uint8_t>(k * 7 + 3);
    }
    card->SetMemory(memory);
    EXPECT_EQ(line->Exchange(RequestFrame("VR")),
              AsMessage(RequestFrame("VR", {'1', '.', '0', '3', '1', '2', '0'})));
    // Memory reads; nothing is read past the end of the memory.
    EXPECT_EQ(line->Exchange(RequestFrame("RD", {0x00, 0x32, '2'})), ReadReply(memory, 0x32, 50));
    EXPECT_EQ(line->Exchange(RequestFrame("RD", {0xFF, 0xDC, '$'})), ReadReply(memory, 65500, 36));
    EXPECT_EQ(line->Exchange(RequestFrame("RD", {0xFF, 0xF0, '2'})), ReadReply(memory, 65520, 50));
    EXPECT_EQ(line->Exchange(RequestFrame("ZZ")), AsMessage(ErrorFrame()));  // unknown letters
    // Erase, then format.
    EXPECT_EQ(line->Exchange(RequestFrame("WR", {0, 9, 3})),
              AsMessage(RequestFrame("WR", {0, 9, 3})));
    EXPECT_EQ(BigEndian16(&card->Memory()[OFF_LOG_COUNT]), 0);
    EXPECT_EQ(line->Exchange(RequestFrame("FM")), AsMessage(RequestFrame("FM")));
    EXPECT_EQ(ConfigFromHeader(card->Memory().data()).serial, SERIAL_NONE);
    EXPECT_TRUE(ImageNeverStarted(card->Memory()));

    EXPECT_EQ(card->RequestsSeen("RD"), 3);
    EXPECT_TRUE(Eventually([&] { return card->AcknowledgesReceived() == 7; }, 1000));
    EXPECT_EQ(card->RepliesSent(), 7);  // never a reply twice
}

TEST_F(SimulatedCardTest, ConfigurationWriteSetsTheClockAndRecordsAtAnAcceleratedPace) {
    StartCard({.reading_period = 20ms});
    ConfigValues values{.sample_points = 50,
                        .sample_rate = 2,
                        .led_cycle = 20,
                        .t_low_alarm = 822,
                        .t_high_alarm = 773,
                        .start_delay = 60,
                        .alarm_delay = 600,
                        .serial = 0x0ABCDE,
                        .modo_nuvem = true};
    SetDescription(values.descricao, "Camara de vacinas 20");
    const auto record = BuildConfigRecord(values, CALENDAR{30, 15, 10, 1, 3, 2026});
    line->Write(BuildFrame("AJ", record.data()));
    EXPECT_EQ(line->ReadMessages(2, 300), (std::vector<LinkMessage>{{SC}}));  // no reply

    // Payload bytes 7..52 land in image bytes 2..47, except the start time the card sets:
    // the recording starts after the start delay.
    const MemoryImage memory = card->Memory();
    EXPECT_TRUE(std::equal(record.begin() + 7, record.begin() + 21, memory.begin() + 2));
    EXPECT_TRUE(std::equal(record.begin() + 28, record.end(), memory.begin() + 23));
    EXPECT_EQ(ConfigFromHeader(memory.data()), values);
    EXPECT_EQ(ImageStartTime(memory), (CALENDAR{30, 16, 10, 1, 3, 2026}));

    const LinkMessage date = line->Exchange(RequestFrame("DT"));
    ASSERT_EQ(date.size(), std::size_t(FRAME_LENGTH));
    EXPECT_LE(date[3] - 30, 1);  // seconds: the clock runs on
    EXPECT_EQ(LinkMessage(date.begin() + 4, date.begin() + 10),
              (LinkMessage{15, 10, 1, 3, 0x07, 0xEA}));

    // One reading per period, up to the configured number, and no further.
    ASSERT_TRUE(Eventually([&] { return ImageReadingCount(card->Memory()) == 50; }, 5000));
    std::this_thread::sleep_for(100ms);
    const MemoryImage recorded = card->Memory();
    EXPECT_EQ(ImageReadingCount(recorded), 50);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(ReadingAD(recorded, i), RecordedAD(RefrigeratorTenths((i + 1) * 2L))) << i;
    }
    EXPECT_EQ(recorded[HEADER_SIZE + 100], 0xFF);

    // The battery/temperature reply carries the latest reading.
    const LinkMessage battery = line->Exchange(RequestFrame("BT"));
    ASSERT_EQ(battery.size(), std::size_t(FRAME_LENGTH));
    EXPECT_EQ(BigEndian16(&battery[3]), ReadingAD(recorded, 49));

    // A clock set alone (no configuration in the record) leaves the recording as it is.
    std::array<std::uint8_t, CONFIG_RECORD_SIZE> clock_only{};
    std::copy_n(record.begin(), 7, clock_only.begin());
    clock_only[6] = 0xEB;  // 2027
    line->Write(BuildFrame("AJ", clock_only.data()));
    EXPECT_EQ(line->ReadMessages(1, 300).size(), 1u);
    EXPECT_EQ(card->Memory(), recorded);
    EXPECT_EQ(line->Exchange(RequestFrame("DT"))[9], 0xEB);
}

TEST_F(SimulatedCardTest, FaultsStrikeTheRequestsTheyAreSetFor) {
    StartCard({.faults = Faults(
                   {"drop:at=1", "corrupt:at=3", "delay:ms=200,at=4,times=2", "joined:at=5"})});
    const Frame version = RequestFrame("VR");

    // 1: lost on the line; 2: the program's resend is answered.
    line->Write(version);
    EXPECT_TRUE(line->ReadMessages(1, 200).empty());
    EXPECT_EQ(line->Exchange(version)[1], 'V');
    // 3: the reply goes out with a byte altered; the receiver drops it and nothing follows.
    line->Write(version);
    EXPECT_EQ(line->ReadMessages(2, 300), (std::vector<LinkMessage>{{SC}}));
    EXPECT_EQ(card->RepliesSent(), 2);
    // 4: delayed: the acknowledge at once, the reply later.
    const Clock::time_point sent = Clock::now();
    line->Write(version);
    EXPECT_EQ(line->ReadMessages(1, 100), (std::vector<LinkMessage>{{SC}}));
    EXPECT_EQ(line->ReadMessages(1, 1000).size(), 1u);
    EXPECT_GE(Clock::now() - sent, 200ms);
    line->Acknowledge();
    // 5: delayed and joined: nothing, then acknowledge and reply together.
    line->Write(version);
    EXPECT_TRUE(line->ReadMessages(1, 100).empty());
    EXPECT_EQ(line->ReadMessages(2, 1000).size(), 2u);
    EXPECT_EQ(card->FaultsStruck(), 4);
}

TEST_F(SimulatedCardTest, PacedAtTheLineRateOf115200Baud) {
    StartCard({.baud_pace = true});
    // Request, acknowledge, reply and the acknowledge of the reply.
    const auto exchange_wire_time = WireTime(FRAME_LENGTH + 1 + FRAME_LENGTH + 1);
    using Ms = std::chrono::duration<double, std::milli>;
    EXPECT_NEAR(Ms(exchange_wire_time).count(), 10.24, 0.01);

    constexpr int kExchanges = 40;
    const Clock::time_point start = Clock::now();
    for (int n = 0; n < kExchanges; ++n) {
        const Clock::time_point sent = Clock::now();
        ASSERT_EQ(line->Exchange(RequestFrame("RD", {0, 50, '2'})).size(),
                  std::size_t(FRAME_LENGTH));
        EXPECT_GE(Clock::now() - sent, WireTime(FRAME_LENGTH + 1 + FRAME_LENGTH));
    }
    EXPECT_LE(Clock::now() - start, kExchanges * exchange_wire_time * 3 / 2);
}

TEST_F(SimulatedCardTest, AClosedLineCostsNoProcessorAndAReopenedOneIsServed) {
    StartCard();
    line.reset();  // the program closes the port: the card's end reports a hang-up
    const auto cpu_us = [] {
        rusage r{};
        getrusage(RUSAGE_SELF, &r);
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec +
               r.ru_stime.tv_usec;
    };
    const long before = cpu_us();
    std::this_thread::sleep_for(400ms);
    EXPECT_LT(cpu_us() - before, 40000);  // under a tenth of the time
    line = std::make_unique<CardLine>(card->PortPath());
    EXPECT_EQ(line->Exchange(RequestFrame("VR"))[1], 'V');

    // Stop is prompt even while a reply is held back.
    SimulatedCard held({.faults = Faults({"delay:ms=5000"})});
    std::string why;
    ASSERT_TRUE(held.Start(&why)) << why;
    CardLine held_line(held.PortPath());
    held_line.Write(RequestFrame("VR"));
    EXPECT_EQ(held_line.ReadMessages(1, 500).size(), 1u);
    const Clock::time_point stop = Clock::now();
    held.Stop();
    EXPECT_LT(Clock::now() - stop, 500ms);
}

TEST(SimulatedCardRegistration, TakesTheLowestFreePortNumberAndRemovesOnlyItsOwnLink) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("simports-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink("/dev/null", dir / "ttyACM0");  // another card's
    SimulatedCardOptions options;
    options.registration_dir = dir.string();
    SimulatedCard first(options);
    SimulatedCard second(options);
    std::string why;
    ASSERT_TRUE(first.Start(&why)) << why;
    ASSERT_TRUE(second.Start(&why)) << why;
    EXPECT_EQ(std::filesystem::read_symlink(dir / "ttyACM1"), first.PortPath());
    EXPECT_EQ(second.RegisteredLink(), (dir / "ttyACM2").string());
    // Discovery opens the link like the device itself.
    CardLine through_link((dir / "ttyACM2").string());
    EXPECT_EQ(through_link.Exchange(RequestFrame("VR"))[1], 'V');

    first.Stop();
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "ttyACM1"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "ttyACM0"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "ttyACM2"));

    options.registration_dir = (dir / "missing").string();
    SimulatedCard nowhere(options);
    EXPECT_FALSE(nowhere.Start(&why));
    EXPECT_NE(why.find("missing"), std::string::npos);
    second.Stop();
    std::filesystem::remove_all(dir);
}
