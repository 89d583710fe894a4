#include "simcard/card_line.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using Clock = std::chrono::steady_clock;

// No line settings of its own: the card's raw mode must be enough.
CardLine::CardLine(const std::string& port_path)
    : fd_(open(port_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}

CardLine::~CardLine() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void CardLine::Write(const Frame& frame) {
    ASSERT_EQ(write(fd_, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
}

void CardLine::Acknowledge() {
    ASSERT_EQ(write(fd_, &SC, 1), 1);
}

std::vector<LinkMessage> CardLine::ReadMessages(std::size_t count, int timeout_ms) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (waiting_.size() < count) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        pollfd in{fd_, POLLIN, 0};
        unsigned char buffer[512];
        if (left <= 0 || poll(&in, 1, static_cast<int>(left)) <= 0) {
            break;
        }
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        for (LinkMessage& message :
             SplitReceived(splitter_, buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)),
                           Clock::now())) {
            waiting_.push_back(std::move(message));
        }
    }
    const auto taken = waiting_.begin() + std::min(count, waiting_.size());
    std::vector<LinkMessage> messages(waiting_.begin(), taken);
    waiting_.erase(waiting_.begin(), taken);
    return messages;
}

LinkMessage CardLine::Exchange(const Frame& request) {
    Write(request);
    const std::vector<LinkMessage> messages = ReadMessages(2, 2000);
    if (messages.size() != 2 || messages[0] != LinkMessage{SC}) {
        ADD_FAILURE() << "no acknowledge and reply to " << request[1] << request[2];
        return {};
    }
    Acknowledge();
    return messages[1];
}

Frame RequestFrame(const char* letters, std::vector<unsigned char> payload_head) {
    payload_head.resize(PAYLOAD_LENGTH);
    return BuildFrame(letters, payload_head.data());
}
