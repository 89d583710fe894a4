#pragma once
// One exchange with the card: sending frames and acknowledges, decoding what the receive
// thread takes off the line into the link flags, and the resend rule of the timer tick.

#include <array>
#include <atomic>
#include <chrono>
#include <optional>
#include <system_error>

#include "base/card_layout.h"
#include "base/card_timing.h"
#include "link/protocol.h"

extern std::atomic<unsigned char> n_send;
extern std::atomic<int> resend_timer;
extern std::atomic<bool> wait_sc;
extern std::atomic<bool> rx_sc;
extern std::atomic<bool> rx_rd_frame;
extern std::atomic<bool> rx_dt_frame;
extern std::atomic<bool> rx_bt_frame;  // nothing reads it yet: no operation asks for the battery
extern std::atomic<bool> rx_write;
extern std::atomic<bool> rx_error;
extern std::atomic<bool> mostrar_info;
// The firmware digits of the last "VR" reply, ASCII; the first is 0 while unknown.
extern std::array<std::atomic<char>, 3> versao_firmware;

// Sends a frame and arms the resend rule; says why the frame did not go out. On a lost
// port the exchange fails at once (DropLostPort); on a slow one the resends try again.
std::error_code SendFrame(const char* command, const unsigned char* data);
void SendSC();

// Acts on one message taken off the line: a lone acknowledge or a valid frame.
void DecodeFrame(const LinkMessage& message);

// The last reply frame the decoder kept (an "RD", "DT", "BT" or "VR" reply).
Frame ReplyFrame();
// The "RD" reply kept since the last take, if any; clears rx_rd_frame with the same step,
// so a reply that arrives meanwhile is neither lost nor taken for the one before.
std::optional<Frame> TakeReadReply();

// When the card last sent anything the decoder took (an acknowledge or a valid frame).
std::chrono::steady_clock::time_point LastHeard();

// The resend rule, run on each tick after resend_timer has been incremented.
void ResendTick(bool connected_now, bool cancelled);
// One tick of the link (TIMER_TICK_MS): resend_timer advanced, then the resend rule.
void LinkTick(bool connected_now, bool cancelled);

// A snapshot of versao_firmware, and its digits as a number (103; 0 while unknown).
FirmwareVersion CardFirmware();
int FirmwareNumber();
void ForgetFirmware();

// Wakes every WaitForLink; whoever changes a flag a waiter may be watching calls it.
void NotifyLink();
// Waits until `done()` holds or `timeout` passes; true when it holds. Wakes at once on
// NotifyLink, so a reply is taken without sleeping out a polling period. A lone
// acknowledge (rx_sc) wakes only WaitForAcknowledge: a read would wake twice per chunk.
template <typename Done>
bool WaitForLink(Done done, std::chrono::milliseconds timeout);
// WaitForLink for a `done()` that an acknowledge can make true.
template <typename Done>
bool WaitForAcknowledge(Done done, std::chrono::milliseconds timeout);

// Implementation of the template.
#include <condition_variable>
#include <mutex>

std::mutex& LinkWaitMutex();
std::condition_variable& LinkWaitCondition();
std::atomic<int>& AcknowledgeWaiters();

template <typename Done>
bool WaitForLink(Done done, std::chrono::milliseconds timeout) {
    std::unique_lock lock(LinkWaitMutex());
    return LinkWaitCondition().wait_for(lock, timeout, done);
}

template <typename Done>
bool WaitForAcknowledge(Done done, std::chrono::milliseconds timeout) {
    // Counted before `done()` is first tested: the decoder sets rx_sc before it looks.
    AcknowledgeWaiters().fetch_add(1);
    const bool held = WaitForLink(done, timeout);
    AcknowledgeWaiters().fetch_sub(1);
    return held;
}
