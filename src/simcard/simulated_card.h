#pragma once
// A simulated KELTRIX card on a pseudo-terminal. It serves, in a thread of its own, the
// card's side of every request: acknowledge, then reply, as a real card does. Tests,
// demonstrations and training use it in place of a card.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "logger/memory_image.h"
#include "simcard/card_faults.h"
#include "simcard/card_requests.h"
#include "simcard/line_pacing.h"
#include "simcard/pseudo_terminal.h"
#include "simcard/refrigerator_recording.h"

struct SimulatedCardOptions {
    int readings = DEFAULT_READINGS;  // of the default recording; may exceed what memory holds
    int interval_s = DEFAULT_INTERVAL_S;
    std::string firmware = "1.03";  // four characters, digit, separator, digit, digit
    std::string hardware = "120";
    bool baud_pace = false;  // take as long as 115200 baud takes
    std::vector<CardFault> faults{};
    // After a configuration write, one new reading per this much real time.
    std::chrono::milliseconds reading_period{1000};
    // Where to register the card as a CDC-ACM port (see SIMULATED_PORTS_ENV); empty = nowhere.
    std::string registration_dir{};
    // The port name to register under ("ttyACM7"); empty = the lowest free number.
    std::string registration_name{};
};

// The card's own share of the time: the wire time of what it took and sent, and its work
// and its lateness in answering. Whatever else a session lasts belongs to the program.
struct CardLineTime {
    long long bytes_in = 0;
    long long bytes_out = 0;
    std::chrono::nanoseconds busy{0};  // paced: from a message's first byte to the answer's last
};

// One valid frame the card took.
struct SeenRequest {
    char letters[2];
    std::uint8_t payload_head[3];  // payload bytes 0..2: address and count of a memory read
    std::chrono::steady_clock::time_point arrived;
};

class SimulatedCard {
  public:
    explicit SimulatedCard(SimulatedCardOptions options = {});
    ~SimulatedCard();
    SimulatedCard(const SimulatedCard&) = delete;
    SimulatedCard& operator=(const SimulatedCard&) = delete;

    // Opens a fresh pseudo-terminal, registers it if asked and starts serving. False with
    // `why` set when the terminal or the registration cannot be made.
    bool Start(std::string* why);
    // Stops serving, removes the registration and closes the terminal.
    void Stop();

    const std::string& PortPath() const { return terminal_.slave_path; }
    const std::string& RegisteredLink() const { return registered_link_; }

    MemoryImage Memory() const;
    void SetMemory(const MemoryImage& memory);

    // Counters, safe to read while the card serves.
    int RequestsSeen() const { return requests_seen_.load(); }  // resends and dropped ones too
    int RequestsSeen(const char* letters) const;
    int AcknowledgesReceived() const { return acks_received_.load(); }
    int RepliesSent() const { return replies_sent_.load(); }  // frames
    int FaultsStruck() const { return faults_struck_.load(); }
    int FaultsStruck(CardFaultKind kind) const {
        return faults_struck_by_kind_[static_cast<std::size_t>(kind)].load();
    }
    std::vector<SeenRequest> Requests() const;
    CardLineTime LineTime() const {
        return {bytes_in_.load(), bytes_out_.load(), std::chrono::nanoseconds(busy_ns_.load())};
    }
    // When the card last wrote to the line; the epoch before it ever did.
    std::chrono::steady_clock::time_point LastSent() const {
        return std::chrono::steady_clock::time_point(
            std::chrono::steady_clock::duration(last_sent_.load()));
    }

  private:
    void Serve();
    bool WaitForInput(int timeout_ms, bool line_closed);
    bool StopRequestedWithin(std::chrono::milliseconds wait);
    void TakeBytes(const unsigned char* bytes, std::size_t length);
    void TakeFrame(const Frame& request, std::chrono::steady_clock::time_point arrived);
    // Paced, the bytes go out once the line is free and not before `not_before`.
    bool Send(const unsigned char* bytes, std::size_t length,
              std::chrono::steady_clock::time_point not_before);
    int MillisecondsToNextEvent();

    SimulatedCardOptions options_;
    PseudoTerminal terminal_;
    std::string registered_link_;
    int stop_pipe_[2] = {-1, -1};
    std::thread thread_;

    mutable std::mutex card_mutex_;  // the card's state, shared with Memory() and SetMemory()
    CardState card_;

    // Only the serving thread touches these.
    FaultSchedule faults_;
    ReceiveSplitter splitter_;
    LinePacer pacer_;

    std::atomic<int> requests_seen_{0};
    std::atomic<int> acks_received_{0};
    std::atomic<int> replies_sent_{0};
    std::atomic<int> faults_struck_{0};
    std::atomic<std::chrono::steady_clock::rep> last_sent_{0};
    std::atomic<long long> bytes_in_{0};
    std::atomic<long long> bytes_out_{0};
    std::atomic<long long> busy_ns_{0};
    std::array<std::atomic<int>, CARD_FAULT_KINDS> faults_struck_by_kind_{};
    mutable std::mutex log_mutex_;
    std::vector<SeenRequest> requests_;
};
