// What the card sessions leave unpinned: the replies and the recording after a configuration.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "simcard/simulated_card.h"
#include "support/link_fixture.h"

namespace {

// A frame of `letters` whose payload begins with `payload_head`, zeros after.
LinkMessage Message(const char* letters, std::vector<unsigned char> payload_head = {}) {
    payload_head.resize(PAYLOAD_LENGTH);
    const Frame frame = BuildFrame(letters, payload_head.data());
    return LinkMessage(frame.begin(), frame.end());
}

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The program's end of the card's line, with no line settings of its own: the card's raw
// mode must be enough.
class CardLine {
  public:
    explicit CardLine(const std::string& port)
        : fd_(open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~CardLine() { close(fd_); }
    void Write(const LinkMessage& bytes) {
        ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

    // Acknowledges and valid frames until `count` arrived or `timeout_ms` passed.
    std::vector<LinkMessage> ReadMessages(std::size_t count, int timeout_ms) {
        std::vector<LinkMessage> messages;
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        pollfd in{fd_, POLLIN, 0};
        while (messages.size() < count && Clock::now() < end && poll(&in, 1, 5) >= 0) {
            unsigned char buffer[512];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            const auto got = SplitReceived(splitter_, buffer, n > 0 ? n : 0, Clock::now());
            messages.insert(messages.end(), got.begin(), got.end());
        }
        return messages;
    }

    // Sends `request`, expects the acknowledge and one reply, acknowledges it; the reply.
    LinkMessage Exchange(const LinkMessage& request) {
        Write(request);
        const std::vector<LinkMessage> messages = ReadMessages(2, 2000);
        const bool answered = messages.size() == 2 && messages[0] == LinkMessage{SC};
        EXPECT_TRUE(answered) << "no acknowledge and reply to " << request[1] << request[2];
        Write({SC});
        return answered ? messages[1] : LinkMessage{};
    }

  private:
    int fd_;
    ReceiveSplitter splitter_;
};

// Memory reads are the card sessions' tests.
TEST(SimulatedCardTest, AnswersEveryRequestKindByteForByteAndRecordsAfterAConfiguration) {
    const auto card = std::make_unique<SimulatedCard>(SimulatedCardOptions{.reading_period = 20ms});
    std::string why;
    ASSERT_TRUE(card->Start(&why)) << why;
    const auto line = std::make_unique<CardLine>(card->PortPath());
    EXPECT_EQ(line->Exchange(Message("VR")), Message("VR", {'1', '.', '0', '3', '1', '2', '0'}));
    const Frame error = ErrorFrame();
    EXPECT_EQ(line->Exchange(Message("ZZ")), LinkMessage(error.begin(), error.end()));

    // "AJ": no reply; the clock set, and a recording after the start delay, one reading per
    // period up to the configured number and no further.
    const ConfigValues values{.sample_points = 5, .sample_rate = 2, .start_delay = 60, .serial = 7};
    const auto record = BuildConfigRecord(values, CALENDAR{30, 15, 10, 1, 3, 2026});
    const Frame configure = BuildFrame("AJ", record.data());
    line->Write(LinkMessage(configure.begin(), configure.end()));
    EXPECT_EQ(line->ReadMessages(2, 300), (std::vector<LinkMessage>{{SC}}));
    EXPECT_EQ(ConfigFromHeader(card->Memory().data()), values);
    EXPECT_EQ(ImageStartTime(card->Memory()), (CALENDAR{30, 16, 10, 1, 3, 2026}));
    ASSERT_TRUE(Eventually([&] { return ImageReadingCount(card->Memory()) == 5; }, 5000));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ImageReadingCount(card->Memory()), 5);
    EXPECT_EQ(ReadingAD(card->Memory(), 4), RecordedAD(RefrigeratorTenths(10)));  // at 10 s
    EXPECT_TRUE(Eventually([&] { return card->AcknowledgesReceived() == 2; }, 1000));
    EXPECT_EQ(card->RepliesSent(), 2);  // never a reply twice
}

}  // namespace
