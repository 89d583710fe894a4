#pragma once
// A clean link for each threaded test, discovery pointed at a private directory.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/recording_window_layer.h"

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    void RegisterPort(const std::string& device, int number = 0) {  // as card port `number`
        std::filesystem::remove(registrations + "/ttyACM" + std::to_string(number));
        std::filesystem::create_symlink(device, registrations + "/ttyACM" + std::to_string(number));
    }

    RecordingWindowLayer windows;
    std::string registrations;
};

// Stops every worker thread, closes the port, resets every shared flag.
void ResetCardSession();

// A pseudo-terminal: the non-blocking master end and the path of the other end.
struct TestPty {
    TestPty();
    ~TestPty() { close(master); }
    int master = -1;
    std::string slave;
};

// A LinkTest whose card's port is a pseudo-terminal; the test plays the card on its master.
class PtyCardTest : public LinkTest {
  protected:
    void SetUp() override;
    // The card unplugged: its end of the line closed under the program.
    void Unplug() {
        close(pty.master);
        pty.master = -1;
    }

    TestPty pty;
};

// Polls `done` every 5 ms for up to `timeout_ms`; true when it held.
template <typename Done>
bool Eventually(Done done, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}
