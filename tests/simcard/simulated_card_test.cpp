// What the card sessions leave unpinned: replies, recording, faults, pace, default recording.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "simcard/simulated_card.h"
#include "support/link_fixture.h"

namespace {

// A frame of `letters` whose payload begins with `payload_head`, zeros after.
Frame RequestFrame(const char* letters, std::vector<unsigned char> payload_head = {}) {
    payload_head.resize(PAYLOAD_LENGTH);
    return BuildFrame(letters, payload_head.data());
}
LinkMessage AsMessage(const Frame& frame) {
    return LinkMessage(frame.begin(), frame.end());
}

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;

// The program's end of the card's line: raw frames out, split messages in. No line settings
// of its own: the card's raw mode must be enough.
class CardLine {
  public:
    explicit CardLine(const std::string& port)
        : fd_(open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~CardLine() { close(fd_); }
    void Write(const Frame& frame) {
        ASSERT_EQ(write(fd_, frame.data(), FRAME_LENGTH), FRAME_LENGTH);
    }
    void Acknowledge() { ASSERT_EQ(write(fd_, &SC, 1), 1); }

    // Messages (lone acknowledges and valid frames) until `count` arrived or `timeout_ms`.
    std::vector<LinkMessage> ReadMessages(std::size_t count, int timeout_ms) {
        std::vector<LinkMessage> messages;
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        while (messages.size() < count) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
            pollfd in{fd_, POLLIN, 0};
            unsigned char buffer[512];
            if (left.count() <= 0 || poll(&in, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            const auto got = SplitReceived(splitter_, buffer, n > 0 ? n : 0, Clock::now());
            messages.insert(messages.end(), got.begin(), got.end());
        }
        return messages;
    }

    // Sends `request`, expects the acknowledge and one reply, acknowledges it; the reply.
    LinkMessage Exchange(const Frame& request) {
        Write(request);
        const std::vector<LinkMessage> messages = ReadMessages(2, 2000);
        const bool answered = messages.size() == 2 && messages[0] == LinkMessage{SC};
        EXPECT_TRUE(answered) << "no acknowledge and reply to " << request[1] << request[2];
        Acknowledge();
        return answered ? messages[1] : LinkMessage{};
    }

  private:
    int fd_;
    ReceiveSplitter splitter_;
};

struct SimulatedCardTest : ::testing::Test {
    void StartCard(SimulatedCardOptions options = {}) {
        card = std::make_unique<SimulatedCard>(options);
        std::string why;
        ASSERT_TRUE(card->Start(&why)) << why;
        line = std::make_unique<CardLine>(card->PortPath());
    }
    std::unique_ptr<SimulatedCard> card;
    std::unique_ptr<CardLine> line;
};

TEST_F(SimulatedCardTest, AnswersEveryRequestKindByteForByteAndRecordsAfterAConfiguration) {
    StartCard({.reading_period = 20ms});
    MemoryImage memory;  // every byte value, the line's special ones (0x7E, 0xE5, ...) included
    for (int k = 0; k < MEMORY_SIZE; ++k) {
        memory[k] = static_cast<std::uint8_t>(k * 7 + 3);
    }
    card->SetMemory(memory);
    const auto read = [&](Bytes head) {  // the memory after the request's head, zeros past it
        const int address = head[0] << 8 | head[1];
        Bytes reply = head;
        reply.insert(reply.end(), memory.begin() + address,
                     memory.begin() + std::min(address + head[2], MEMORY_SIZE));
        return std::pair{RequestFrame("RD", head), RequestFrame("RD", reply)};
    };
    const std::pair<Frame, Frame> exchanges[] = {
        {RequestFrame("VR"), RequestFrame("VR", {'1', '.', '0', '3', '1', '2', '0'})},
        read({0x00, 0x32, '2'}),
        read({0xFF, 0xDC, '$'}),
        read({0xFF, 0xF0, '2'}),
        {RequestFrame("ZZ"), ErrorFrame()},
        {RequestFrame("WR", {0, 9, 3}), RequestFrame("WR", {0, 9, 3})},
    };
    for (const auto& [request, reply] : exchanges) {
        EXPECT_EQ(line->Exchange(request), AsMessage(reply)) << request[1] << request[2];
    }
    EXPECT_EQ(BigEndian16(&card->Memory()[OFF_LOG_COUNT]), 0);
    EXPECT_EQ(line->Exchange(RequestFrame("FM")), AsMessage(RequestFrame("FM")));
    EXPECT_EQ(ConfigFromHeader(card->Memory().data()).serial, SERIAL_NONE);
    EXPECT_TRUE(ImageNeverStarted(card->Memory()));

    // "AJ": no reply; the clock set, and a recording after the start delay, one reading per
    // period up to the configured number and no further.
    const ConfigValues values{.sample_points = 5, .sample_rate = 2, .start_delay = 60, .serial = 7};
    const auto record = BuildConfigRecord(values, CALENDAR{30, 15, 10, 1, 3, 2026});
    line->Write(BuildFrame("AJ", record.data()));
    EXPECT_EQ(line->ReadMessages(2, 300), (std::vector<LinkMessage>{{SC}}));
    EXPECT_EQ(ConfigFromHeader(card->Memory().data()), values);
    EXPECT_EQ(ImageStartTime(card->Memory()), (CALENDAR{30, 16, 10, 1, 3, 2026}));
    const LinkMessage date = line->Exchange(RequestFrame("DT"));
    ASSERT_EQ(date.size(), std::size_t(FRAME_LENGTH));
    EXPECT_LE(date[3] - 30, 1);  // seconds: the clock runs on
    EXPECT_EQ(date, AsMessage(RequestFrame("DT", {date[3], 15, 10, 1, 3, 0x07, 0xEA})));
    ASSERT_TRUE(Eventually([&] { return ImageReadingCount(card->Memory()) == 5; }, 5000));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ImageReadingCount(card->Memory()), 5);
    EXPECT_EQ(card->Memory()[HEADER_SIZE + 10], 0xFF);
    Bytes battery(2);  // the latest reading, taken 10 s into the recording
    PutBigEndian16(battery.data(), RecordedAD(RefrigeratorTenths(10)));
    EXPECT_EQ(line->Exchange(RequestFrame("BT")), AsMessage(RequestFrame("BT", battery)));
    EXPECT_TRUE(Eventually([&] { return card->AcknowledgesReceived() == 9; }, 1000));
    EXPECT_EQ(card->RepliesSent(), 9);  // never a reply twice
}

TEST_F(SimulatedCardTest, FaultsStrikeTheRequestsTheyAreSetFor) {
    std::vector<CardFault> faults;
    std::string why;
    for (const char* t : {"drop:at=1", "corrupt:at=3", "delay:ms=200,at=4,times=2",
                          "joined:at=5,times=1", "noack:at=6", "twice:at=7,ms=300"}) {
        faults.push_back(ParseCardFault(t, &why).value());
    }
    StartCard({.faults = faults});
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
    line->Acknowledge();
    // 6: the acknowledge is lost, the reply goes out.
    line->Write(version);
    EXPECT_EQ(line->ReadMessages(1, 1000).at(0)[1], 'V');
    line->Acknowledge();
    // 7: no acknowledge and a late reply; the resend meanwhile is answered as well.
    line->Write(version);
    EXPECT_TRUE(line->ReadMessages(1, 100).empty());
    line->Write(version);
    const std::vector<LinkMessage> twice = line->ReadMessages(3, 1000);
    ASSERT_EQ(twice.size(), 3u);
    EXPECT_EQ(twice[0], twice[2]);
    EXPECT_EQ(twice[1], LinkMessage{SC});
    EXPECT_EQ(card->FaultsStruck(), 6);
    EXPECT_EQ(card->FaultsStruck(CardFaultKind::DelayReply), 2);
    EXPECT_EQ(card->FaultsStruck(CardFaultKind::AnswerTwice), 1);
}

TEST_F(SimulatedCardTest, PacedAtTheLineRateOf115200Baud) {
    StartCard({.baud_pace = true});
    // Request, acknowledge, reply and the acknowledge of the reply.
    const auto exchange_wire_time = WireTime(FRAME_LENGTH + 1 + FRAME_LENGTH + 1);
    EXPECT_NEAR(std::chrono::duration<double>(exchange_wire_time).count(), 0.01024, 1e-5);
    const Clock::time_point start = Clock::now();
    for (int n = 0; n < 40; ++n) {
        const Clock::time_point sent = Clock::now();
        line->Exchange(RequestFrame("RD", {0, 50, '2'}));
        EXPECT_GE(Clock::now() - sent, WireTime(FRAME_LENGTH + 1 + FRAME_LENGTH));
    }
    EXPECT_LE(Clock::now() - start, 40 * exchange_wire_time * 3 / 2);
}

TEST(RefrigeratorRecording, WeekAtFiveMinutesWithOneWarmHourAndOneShortDip) {
    const MemoryImage memory = BuildDefaultRecording(DEFAULT_READINGS, DEFAULT_INTERVAL_S);
    ASSERT_EQ(ImageReadingCount(memory), 2016);
    EXPECT_EQ(ImageSampleRate(memory), 300);
    EXPECT_EQ(ADToTemp_x10(ConfigFromHeader(memory.data()).t_low_alarm), 20);
    EXPECT_EQ(ADToTemp_x10(ConfigFromHeader(memory.data()).t_high_alarm), 80);
    // An hour warm, a quarter of an hour cold, well inside the band (not near a threshold) else.
    std::string kinds, expected(2016, '.');
    for (int i = 0; i < 2016; ++i) {
        const int t = ADToTemp_x10(ReadingAD(memory, i));
        kinds += t > 80 ? 'w' : t < 20 ? 'c' : t < 30 || t > 70 ? 'n' : '.';
    }
    expected.replace(WARM_EXCURSION_START_S / 300 - 1, 12, 12, 'w');
    expected.replace(COLD_DIP_START_S / 300 - 1, 3, 3, 'c');
    EXPECT_EQ(kinds, expected);
    // A count beyond what the memory holds stays in the header as the card reports it.
    EXPECT_EQ(BigEndian16(&BuildDefaultRecording(40000, 2)[OFF_LOG_COUNT]), 40000);
}

}  // namespace

TEST(RefrigeratorRecording, DemonstrationCardsDifferFromTheFirstOn) {
    EXPECT_EQ(BuildDemonstrationRecording(0),
              BuildDefaultRecording(DEFAULT_READINGS, DEFAULT_INTERVAL_S));
    std::set<long> serials;
    std::set<std::string> descriptions;
    for (int number = 0; number < 12; ++number) {
        const MemoryImage memory = BuildDemonstrationRecording(number);
        const ConfigValues config = ConfigFromHeader(memory.data());
        serials.insert(config.serial);
        descriptions.insert(DescriptionBytes(config.descricao.data()));
        EXPECT_GE(ImageReadingCount(memory), 288) << number;
    }
    EXPECT_EQ(serials.size(), 12u);
    EXPECT_EQ(descriptions.size(), 12u);
    EXPECT_TRUE(descriptions.count("Camara fria 12"));
    // The cold room's day falls elsewhere: not the first card's readings shortened.
    const MemoryImage first = BuildDemonstrationRecording(0);
    const MemoryImage second = BuildDemonstrationRecording(1);
    int differing = 0;
    for (int i = 0; i < ImageReadingCount(second); ++i) {
        differing += ReadingAD(first, i) != ReadingAD(second, i) ? 1 : 0;
    }
    EXPECT_GT(differing, ImageReadingCount(second) / 2);
}
