#pragma once
// A clean link for each threaded test: every worker stopped, the port closed, the flags as
// at start-up, and discovery pointed at a private registration directory.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/recording_window_layer.h"

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Registers `device` as card port `number` for discovery.
    void RegisterPort(const std::string& device, int number = 0);
    void UnregisterPort(int number = 0);

    RecordingWindowLayer windows;
    std::string registrations;  // the simulated-ports directory
};

// Stops the timer, operation and receive threads, closes the port and puts every shared
// flag back to its start-up value.
void ResetCardSession();

// A pseudo-terminal: the master end (non-blocking) and the path of the other end.
struct TestPty {
    TestPty();
    ~TestPty();
    int master = -1;
    std::string slave;
};

// Polls `done` every 5 ms for up to `timeout_ms`; true when it held.
template <typename Done>
bool Eventually(Done done, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
