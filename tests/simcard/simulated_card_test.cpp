// The simulated card over its pseudo-terminal: every request answered byte for byte, the
// configuration write and its recording, the faults, the line's pace and the registration.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "simcard/card_line.h"
#include "simcard/simulated_card.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Every byte value, the line's special ones (0x7E, 0xE5, 0x03, 0x0D, 0x11, 0x7F) included.
MemoryImage PatternMemory() {
    MemoryImage memory;
    for (int k = 0; k < MEMORY_SIZE; ++k) {
        memory[k] = static_cast<std::uint8_t>(k * 7 + 3);
    }
    return memory;
}

Frame ReplyFrame(const char* letters, const std::vector<unsigned char>& payload_head) {
    return RequestFrame(letters, payload_head);
}

LinkMessage Bytes(const Frame& frame) {
    return LinkMessage(frame.begin(), frame.end());
}

std::vector<unsigned char> MemoryBytes(const MemoryImage& memory, int from, int count) {
    std::vector<unsigned char> bytes;
    for (int k = from; k < from + count; ++k) {
        bytes.push_back(k < MEMORY_SIZE ? memory[k] : 0);
    }
    return bytes;
}

std::vector<unsigned char> Concat(std::vector<unsigned char> head,
                                  const std::vector<unsigned char>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
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
    const MemoryImage memory = PatternMemory();
    card->SetMemory(memory);

    // The version reply, as the protocol header shows it.
    line->Write(RequestFrame("VR"));
    const std::vector<LinkMessage> version = line->ReadMessages(2, 2000);
    ASSERT_EQ(version.size(), 2u);
    EXPECT_EQ(version[0], LinkMessage{SC});
    LinkMessage expected_version(FRAME_LENGTH, 0);
    const unsigned char head[] = {0x7E, 0x56, 0x52, 0x31, 0x2E, 0x30, 0x33, 0x31, 0x32, 0x30};
    std::copy(std::begin(head), std::end(head), expected_version.begin());
    expected_version[56] = 0x2B;
    expected_version[57] = 0x7E;
    EXPECT_EQ(version[1], expected_version);
    line->Acknowledge();

    // Memory reads: the request's address and count come back, then the memory bytes.
    EXPECT_EQ(line->Exchange(RequestFrame("RD", {0x00, 0x32, '2'})),
              Bytes(ReplyFrame("RD", Concat({0x00, 0x32, '2'}, MemoryBytes(memory, 0x32, 50)))));
    EXPECT_EQ(line->Exchange(RequestFrame("RD", {0xFF, 0xDC, '$'})),
              Bytes(ReplyFrame("RD", Concat({0xFF, 0xDC, '$'}, MemoryBytes(memory, 65500, 36)))));
    // Nothing is read past the end of the memory.
    EXPECT_EQ(line->Exchange(RequestFrame("RD", {0xFF, 0xF0, '2'})),
              Bytes(ReplyFrame("RD", Concat({0xFF, 0xF0, '2'}, MemoryBytes(memory, 65520, 50)))));
    // The configuration read: image bytes 2..47 in frame bytes 8..53.
    const LinkMessage config = line->Exchange(RequestFrame("RD", {0x00, 0x00, '3'}));
    ASSERT_EQ(config.size(), std::size_t(FRAME_LENGTH));
    EXPECT_EQ(std::vector<unsigned char>(config.begin() + 8, config.begin() + 54),
              MemoryBytes(memory, 2, 46));

    // Letters the card does not know get an error frame.
    EXPECT_EQ(line->Exchange(RequestFrame("ZZ")), Bytes(ErrorFrame()));

    // Byte 55 is outside the check: still taken. A wrong check byte: no answer at all.
    Frame loose = RequestFrame("VR");
    loose[55] = 0x99;
    EXPECT_EQ(line->Exchange(loose), expected_version);
    Frame broken = RequestFrame("VR");
    broken[54] ^= 0x01;
    line->Write(broken);
    EXPECT_TRUE(line->ReadMessages(1, 200).empty());

    // Erase, then format.
    EXPECT_EQ(line->Exchange(RequestFrame("WR", {0, 9, 3})), Bytes(ReplyFrame("WR", {0, 9, 3})));
    EXPECT_EQ(BigEndian16(&card->Memory()[OFF_LOG_COUNT]), 0);
    EXPECT_EQ(line->Exchange(RequestFrame("FM")), Bytes(ReplyFrame("FM", {})));
    const MemoryImage formatted = card->Memory();
    EXPECT_EQ(ConfigFromHeader(formatted.data()).serial, SERIAL_NONE);
    EXPECT_TRUE(ImageNeverStarted(formatted));

    EXPECT_EQ(card->RequestsSeen(), 9);  // the broken frame is not a request
    EXPECT_EQ(card->RequestsSeen("RD"), 4);
    const auto end = Clock::now() + 1s;
    while (card->AcknowledgesReceived() < 9 && Clock::now() < end) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(card->AcknowledgesReceived(), 9);
    EXPECT_EQ(card->RepliesSent(), 9);
}

TEST_F(SimulatedCardTest, ConfigurationWriteSetsTheClockAndRecordsAtAnAcceleratedPace) {
    SimulatedCardOptions options;
    options.reading_period = 20ms;
    StartCard(options);

    ConfigValues values;
    values.sample_points = 50;
    values.sample_rate = 2;
    values.led_cycle = 20;
    values.t_low_alarm = 822;
    values.t_high_alarm = 773;
    values.start_delay = 60;
    values.alarm_delay = 600;
    values.serial = 0x0ABCDE;
    SetDescription(values.descricao, "Camara de vacinas 20");
    values.modo_nuvem = true;
    const CALENDAR now{30, 15, 10, 1, 3, 2026};
    const auto record = BuildConfigRecord(values, now);
    line->Write(BuildFrame("AJ", record.data()));
    EXPECT_EQ(line->ReadMessages(2, 300), (std::vector<LinkMessage>{{SC}}));  // no reply

    const MemoryImage memory = card->Memory();
    // Payload bytes 7..52 land in image bytes 2..47, except the start time the card sets.
    EXPECT_TRUE(std::equal(record.begin() + 7, record.begin() + 21, memory.begin() + 2));
    EXPECT_TRUE(std::equal(record.begin() + 28, record.end(), memory.begin() + 23));
    EXPECT_EQ(ConfigFromHeader(memory.data()), values);
    // The recording starts after the start delay.
    EXPECT_EQ(ImageStartTime(memory), (CALENDAR{30, 16, 10, 1, 3, 2026}));

    const LinkMessage date = line->Exchange(RequestFrame("DT"));
    ASSERT_EQ(date.size(), std::size_t(FRAME_LENGTH));
    EXPECT_LE(date[3] - 30, 1);  // seconds: the clock runs on
    EXPECT_EQ(std::vector<unsigned char>(date.begin() + 4, date.begin() + 10),
              (std::vector<unsigned char>{15, 10, 1, 3, 0x07, 0xEA}));

    // One reading per period, up to the configured number, and no further.
    ASSERT_TRUE([&] {
        const auto end = Clock::now() + 5s;
        while (ImageReadingCount(card->Memory()) < 50 && Clock::now() < end) {
            std::this_thread::sleep_for(10ms);
        }
        return ImageReadingCount(card->Memory()) == 50;
    }());
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
    SimulatedCardOptions options;
    std::string why;
    options.faults = {*ParseCardFault("drop:at=1", &why), *ParseCardFault("error:at=3", &why),
                      *ParseCardFault("corrupt:at=4", &why), *ParseCardFault("silent:at=6", &why)};
    StartCard(options);
    const Frame version = RequestFrame("VR");

    // 1: lost on the line; 2: the program's resend is answered.
    line->Write(version);
    EXPECT_TRUE(line->ReadMessages(1, 200).empty());
    EXPECT_EQ(line->Exchange(version)[1], 'V');
    // 3: acknowledged, then "ER".
    EXPECT_EQ(line->Exchange(RequestFrame("RD", {0, 0, '2'})), Bytes(ErrorFrame()));
    // 4: the reply comes with a byte altered; the receiver drops it and nothing follows.
    line->Write(version);
    const auto chunks = line->ReadChunks(2, 300);
    std::size_t bytes = 0;
    for (const auto& chunk : chunks) {
        bytes += chunk.size();
    }
    EXPECT_EQ(bytes, std::size_t(1 + FRAME_LENGTH));
    EXPECT_EQ(line->ReadMessages(2, 0), (std::vector<LinkMessage>{{SC}}));
    // 5 is answered; from 6 on nothing is.
    EXPECT_EQ(line->Exchange(version)[1], 'V');
    for (int n = 0; n < 3; ++n) {
        line->Write(version);
        EXPECT_TRUE(line->ReadMessages(1, 150).empty());
    }
    EXPECT_EQ(card->RequestsSeen(), 8);
    EXPECT_EQ(card->FaultsStruck(), 6);
}

TEST_F(SimulatedCardTest, DelayedAndJoinedRepliesArriveAsTold) {
    SimulatedCardOptions options;
    std::string why;
    options.faults = {*ParseCardFault("delay:ms=200,times=2", &why),
                      *ParseCardFault("joined:at=2", &why)};
    StartCard(options);

    // A delayed reply: the acknowledge at once, the reply later.
    const Clock::time_point sent = Clock::now();
    line->Write(RequestFrame("VR"));
    EXPECT_EQ(line->ReadMessages(1, 100), (std::vector<LinkMessage>{{SC}}));
    EXPECT_EQ(line->ReadMessages(1, 1000).size(), 1u);
    EXPECT_GE(Clock::now() - sent, 200ms);
    line->Acknowledge();

    // Delayed and joined: nothing, then acknowledge and reply in one write.
    line->Write(RequestFrame("VR"));
    EXPECT_TRUE(line->ReadChunks(1, 100).empty());
    const auto chunks = line->ReadChunks(2, 1000);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].size(), std::size_t(1 + FRAME_LENGTH));
    EXPECT_EQ(line->ReadMessages(2, 0).size(), 2u);
}

TEST_F(SimulatedCardTest, PacedAtTheLineRateOf115200Baud) {
    SimulatedCardOptions options;
    options.baud_pace = true;
    StartCard(options);
    // Request, acknowledge, reply and the acknowledge of the reply.
    const auto exchange_wire_time = WireTime(FRAME_LENGTH + 1 + FRAME_LENGTH + 1);
    const double exchange_ms =
        std::chrono::duration<double, std::milli>(exchange_wire_time).count();
    EXPECT_NEAR(exchange_ms, 10.24, 0.01);

    constexpr int kExchanges = 40;
    const Clock::time_point start = Clock::now();
    for (int n = 0; n < kExchanges; ++n) {
        const Clock::time_point sent = Clock::now();
        ASSERT_EQ(line->Exchange(RequestFrame("RD", {0, 50, '2'})).size(),
                  std::size_t(FRAME_LENGTH));
        EXPECT_GE(Clock::now() - sent, WireTime(FRAME_LENGTH + 1 + FRAME_LENGTH));
    }
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, kExchanges * WireTime(FRAME_LENGTH + 1 + FRAME_LENGTH));
    EXPECT_LE(elapsed, kExchanges * exchange_wire_time * 3 / 2);
}

TEST_F(SimulatedCardTest, AClosedLineCostsNoProcessorAndAReopenedOneIsServed) {
    StartCard();
    line.reset();  // the program closes the port: the card's end reports a hang-up
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    std::this_thread::sleep_for(400ms);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const auto cpu_us = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec +
               r.ru_stime.tv_usec;
    };
    EXPECT_LT(cpu_us(after) - cpu_us(before), 40000);  // under a tenth of the time

    line = std::make_unique<CardLine>(card->PortPath());
    EXPECT_EQ(line->Exchange(RequestFrame("VR"))[1], 'V');

    // Stop is prompt even while a reply is held back.
    std::string why;
    SimulatedCardOptions slow;
    slow.faults = {*ParseCardFault("delay:ms=5000", &why)};
    SimulatedCard held(slow);
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
    EXPECT_EQ(first.RegisteredLink(), (dir / "ttyACM1").string());
    EXPECT_EQ(second.RegisteredLink(), (dir / "ttyACM2").string());
    EXPECT_EQ(std::filesystem::read_symlink(dir / "ttyACM1"), first.PortPath());
    // Discovery opens the link like the device itself.
    CardLine through_link((dir / "ttyACM2").string());
    EXPECT_EQ(through_link.Exchange(RequestFrame("VR"))[1], 'V');

    first.Stop();
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "ttyACM1"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "ttyACM0"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "ttyACM2"));
    second.Stop();
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "ttyACM2"));

    options.registration_dir = (dir / "missing").string();
    SimulatedCard nowhere(options);
    EXPECT_FALSE(nowhere.Start(&why));
    EXPECT_NE(why.find("missing"), std::string::npos);
    std::filesystem::remove_all(dir);
}
