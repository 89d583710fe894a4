#include "simcard/simulated_card.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// How often the card looks again at a line that nobody holds open.
constexpr int CLOSED_LINE_POLL_MS = 20;
// The longest the serving thread sleeps without looking at the clock.
constexpr int MAX_IDLE_POLL_MS = 1000;
// How long a write may wait for a program that does not read.
constexpr int WRITE_STALL_LIMIT_MS = 2000;
// How often a stalled write looks again for room in the line.
constexpr int WRITE_ROOM_POLL_MS = 10;
// Requests kept for Requests(); the older half goes when it is full.
constexpr std::size_t MAX_LOGGED_REQUESTS = 65536;

int MillisecondsUntil(Clock::time_point when, Clock::time_point now) {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, MAX_IDLE_POLL_MS));
}

}  // namespace

SimulatedCard::SimulatedCard(SimulatedCardOptions options)
    : options_(std::move(options)), faults_(options_.faults) {
    pacer_.enabled = options_.baud_pace;
    card_.firmware = options_.firmware;
    card_.hardware = options_.hardware;
    card_.reading_period = options_.reading_period;
}

SimulatedCard::~SimulatedCard() {
    Stop();
}

bool SimulatedCard::Start(std::string* why) {
    if (thread_.joinable()) {
        return true;
    }
    if (pipe2(stop_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        *why = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    const std::optional<PseudoTerminal> terminal = OpenPseudoTerminal(why);
    if (!terminal) {
        Stop();
        return false;
    }
    terminal_ = *terminal;
    if (!options_.registration_dir.empty()) {
        const std::optional<std::string> link =
            options_.registration_name.empty()
                ? RegisterSimulatedPort(options_.registration_dir, terminal_.slave_path, why)
                : RegisterSimulatedPortAs(options_.registration_dir, options_.registration_name,
                                          terminal_.slave_path, why);
        if (!link) {
            Stop();
            return false;
        }
        registered_link_ = *link;
    }
    {
        std::lock_guard lock(card_mutex_);
        card_.memory = BuildDefaultRecording(options_.readings, options_.interval_s);
        // The card's own copy of its version digits ("1.03" -> "103").
        if (options_.firmware.size() == 4) {
            card_.memory[OFF_FIRMWARE] = static_cast<std::uint8_t>(options_.firmware[0]);
            card_.memory[OFF_FIRMWARE + 1] = static_cast<std::uint8_t>(options_.firmware[2]);
            card_.memory[OFF_FIRMWARE + 2] = static_cast<std::uint8_t>(options_.firmware[3]);
        }
        // The clock runs on from the end of the recording it holds.
        card_.clock_at_set = DEFAULT_START;
        AdvanceCalendar(card_.clock_at_set, static_cast<unsigned long>(options_.readings) *
                                                static_cast<unsigned long>(options_.interval_s));
        card_.clock_set_at = Clock::now();
    }
    thread_ = std::thread(&SimulatedCard::Serve, this);
    return true;
}

void SimulatedCard::Stop() {
    if (thread_.joinable()) {
        const unsigned char wake = 1;
        while (write(stop_pipe_[1], &wake, 1) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    if (!registered_link_.empty()) {
        UnregisterSimulatedPort(registered_link_, terminal_.slave_path);
        registered_link_.clear();
    }
    ClosePseudoTerminal(terminal_);
    for (int& fd : stop_pipe_) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
}

MemoryImage SimulatedCard::Memory() const {
    std::lock_guard lock(card_mutex_);
    return card_.memory;
}

void SimulatedCard::SetMemory(const MemoryImage& memory) {
    std::lock_guard lock(card_mutex_);
    card_.memory = memory;
    card_.recording = false;
}

int SimulatedCard::RequestsSeen(const char* letters) const {
    std::lock_guard lock(log_mutex_);
    return static_cast<int>(std::count_if(requests_.begin(), requests_.end(), [&](const auto& r) {
        return r.letters[0] == letters[0] && r.letters[1] == letters[1];
    }));
}

std::vector<SeenRequest> SimulatedCard::Requests() const {
    std::lock_guard lock(log_mutex_);
    return requests_;
}

void SimulatedCard::Serve() {
    if (pacer_.enabled) {
        // The default 50 µs of timer slack on two sleeps per exchange would add a few
        // percent to the line time.
        prctl(PR_SET_TIMERSLACK, 1UL);
    }
    unsigned char buffer[4096];
    bool line_closed = false;
    while (WaitForInput(MillisecondsToNextEvent(), line_closed)) {
        const ssize_t n = read(terminal_.master_fd, buffer, sizeof buffer);
        if (n > 0) {
            line_closed = false;
            TakeBytes(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EIO) {
            // Nobody holds the port: a partial frame is gone with the program.
            line_closed = true;
            splitter_ = ReceiveSplitter{};
        } else if (n < 0 && errno == EAGAIN) {
            line_closed = false;
        }
        std::lock_guard lock(card_mutex_);
        AdvanceRecording(card_, Clock::now());
    }
}

// False when Stop() asks the thread to end.
bool SimulatedCard::WaitForInput(int timeout_ms, bool line_closed) {
    pollfd fds[2] = {{stop_pipe_[0], POLLIN, 0}, {terminal_.master_fd, POLLIN, 0}};
    // A closed line reports a hang-up at once; waiting on it would spin.
    const int count = line_closed ? 1 : 2;
    if (line_closed) {
        timeout_ms = std::min(timeout_ms, CLOSED_LINE_POLL_MS);
    }
    if (poll(fds, count, timeout_ms) < 0 && errno != EINTR) {
        return false;
    }
    return (fds[0].revents & POLLIN) == 0;
}

bool SimulatedCard::StopRequestedWithin(std::chrono::milliseconds wait) {
    const Clock::time_point until = Clock::now() + wait;
    for (;;) {
        pollfd stop{stop_pipe_[0], POLLIN, 0};
        const int ready = poll(&stop, 1, MillisecondsUntil(until, Clock::now()));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 && Clock::now() >= until) {
            return false;
        }
    }
}

int SimulatedCard::MillisecondsToNextEvent() {
    const Clock::time_point now = Clock::now();
    Clock::time_point next = now + std::chrono::milliseconds(MAX_IDLE_POLL_MS);
    {
        std::lock_guard lock(card_mutex_);
        if (card_.recording) {
            next = std::min(next, card_.next_reading_at);
        }
    }
    return MillisecondsUntil(next, now);
}

void SimulatedCard::TakeBytes(const unsigned char* bytes, std::size_t length) {
    // Paced, a frame is complete only when its last byte has come over the line; the card
    // answers from then on.
    const Clock::time_point read_at = Clock::now();
    const Clock::time_point first_byte =
        pacer_.enabled ? std::max(read_at, pacer_.receive_free) : read_at;
    const Clock::time_point arrived = ReceivedAt(pacer_, length, read_at);
    bytes_in_ += static_cast<long long>(length);
    for (const LinkMessage& message : SplitReceived(splitter_, bytes, length, arrived)) {
        if (message.size() == SC_LENGTH) {
            ++acks_received_;
        } else {
            Frame frame;
            std::copy(message.begin(), message.end(), frame.begin());
            TakeFrame(frame, arrived);
        }
    }
    busy_ns_ += std::chrono::nanoseconds(std::max(Clock::now(), arrived) - first_byte).count();
}

void SimulatedCard::TakeFrame(const Frame& request, Clock::time_point arrived) {
    const Clock::time_point now = std::max(Clock::now(), arrived);
    ++requests_seen_;
    {
        std::lock_guard lock(log_mutex_);
        if (requests_.size() >= MAX_LOGGED_REQUESTS) {
            requests_.erase(requests_.begin(), requests_.begin() + MAX_LOGGED_REQUESTS / 2);
        }
        requests_.push_back({{static_cast<char>(request[1]), static_cast<char>(request[2])},
                             {request[3], request[4], request[5]},
                             now});
    }
    const StruckFaults struck = faults_.Next();
    if (struck.Any()) {
        ++faults_struck_;
        for (int k = 0; k < CARD_FAULT_KINDS; ++k) {
            if ((struck.kinds >> k & 1u) != 0) {
                ++faults_struck_by_kind_[static_cast<std::size_t>(k)];
            }
        }
    }
    if (struck.drop) {
        return;
    }
    std::optional<Frame> sent;
    {
        std::lock_guard lock(card_mutex_);
        sent = AnswerRequest(card_, request, now);
    }
    if (struck.answer_error) {
        sent = ErrorFrame();
    }
    // The acknowledge, and room for a reply joined to it.
    std::array<unsigned char, SC_LENGTH + FRAME_LENGTH> acknowledge{SC};
    std::size_t acknowledge_length = struck.lose_acknowledge ? 0 : SC_LENGTH;
    if (struck.corrupt) {
        if (sent) {
            (*sent)[struck.corrupt_index] ^= struck.corrupt_mask;
        } else if (acknowledge_length > 0) {
            acknowledge[0] ^= struck.corrupt_mask;
        }
    }
    const std::chrono::milliseconds delay(struck.delay_ms);
    if (struck.joined && sent) {
        if (delay.count() > 0 && StopRequestedWithin(delay)) {
            return;
        }
        std::copy(sent->begin(), sent->end(), acknowledge.begin() + acknowledge_length);
        Send(acknowledge.data(), acknowledge_length + FRAME_LENGTH, now);
    } else {
        if (acknowledge_length > 0) {
            Send(acknowledge.data(), acknowledge_length, now);
        }
        if (!sent) {
            return;
        }
        if (delay.count() > 0 && StopRequestedWithin(delay)) {
            return;
        }
        Send(sent->data(), sent->size(), now);
    }
    ++replies_sent_;
}

bool SimulatedCard::Send(const unsigned char* bytes, std::size_t length,
                         Clock::time_point not_before) {
    const Clock::time_point delivered = SentAt(pacer_, length, std::max(Clock::now(), not_before));
    bytes_out_ += static_cast<long long>(length);
    if (pacer_.enabled) {
        // Written when its last byte would have arrived: the receiver sees whole messages
        // no earlier than on a real line.
        SleepUntil(delivered);
    }
    const Clock::time_point give_up =
        Clock::now() + std::chrono::milliseconds(WRITE_STALL_LIMIT_MS);
    while (length > 0) {
        const ssize_t written = write(terminal_.master_fd, bytes, length);
        if (written > 0) {
            bytes += written;
            length -= static_cast<std::size_t>(written);
        } else if (written < 0 && errno == EAGAIN && Clock::now() < give_up) {
            pollfd out{terminal_.master_fd, POLLOUT, 0};
            poll(&out, 1, WRITE_ROOM_POLL_MS);
        } else if (!(written < 0 && errno == EINTR)) {
            return false;
        }
    }
    last_sent_ = Clock::now().time_since_epoch().count();
    return true;
}
