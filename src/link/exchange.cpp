#include "link/exchange.h"

#include <cstring>

#include "base/card_layout.h"
#include "base/window_layer.h"
#include "link/serial.h"

std::atomic<unsigned char> n_send{0};
std::atomic<int> resend_timer{0};
std::atomic<bool> wait_sc{false};
std::atomic<bool> rx_sc{false};
std::atomic<bool> rx_rd_frame{false};
std::atomic<bool> rx_dt_frame{false};
std::atomic<bool> rx_bt_frame{false};
std::atomic<bool> rx_write{false};
std::atomic<bool> rx_error{false};
std::atomic<bool> mostrar_info{true};
std::array<std::atomic<char>, 3> versao_firmware{};

namespace {

// The last frame sent (for resends) and the last reply kept: each written by one thread
// while another may read it, so each has its lock. A send and a resend decision hold
// sent_mutex throughout, so a tick never acts on the counters of the frame before.
std::mutex sent_mutex;
Frame buffer{};
std::mutex reply_mutex;
Frame rx_buf{};

std::atomic<std::chrono::steady_clock::rep> last_heard{0};

// A port that is gone ends the exchange at once; a port that was only slow to take the
// bytes is left to the resends.
void ActOnWriteError(std::error_code error) {
    if (PortIsLost(error)) {
        DropLostPort();
    }
}

void KeepReply(const LinkMessage& message, std::atomic<bool>* flag = nullptr) {
    std::lock_guard lock(reply_mutex);
    std::memcpy(rx_buf.data(), message.data(), FRAME_LENGTH);
    if (flag != nullptr) {
        *flag = true;
    }
}

}  // namespace

std::mutex& LinkWaitMutex() {
    static std::mutex mutex;
    return mutex;
}

std::condition_variable& LinkWaitCondition() {
    static std::condition_variable condition;
    return condition;
}

std::atomic<int>& AcknowledgeWaiters() {
    static std::atomic<int> waiters{0};
    return waiters;
}

void NotifyLink() {
    { std::lock_guard lock(LinkWaitMutex()); }
    LinkWaitCondition().notify_all();
}

std::error_code SendFrame(const char* command, const unsigned char* data) {
    const Frame frame = BuildFrame(command, data);
    std::error_code error;
    {
        std::lock_guard lock(sent_mutex);
        buffer = frame;
        // The counters first: the flag raised before them would let a tick resend at once.
        n_send = N_SEREND_TIMES;
        resend_timer = 0;
        wait_sc = true;
        error = WriteString(frame.data(), frame.size());
    }
    ActOnWriteError(error);
    return error;
}

void SendSC() {
    ActOnWriteError(WriteByte(SC));
}

Frame ReplyFrame() {
    std::lock_guard lock(reply_mutex);
    return rx_buf;
}

std::optional<Frame> TakeReadReply() {
    std::lock_guard lock(reply_mutex);
    if (!rx_rd_frame.exchange(false)) {
        return std::nullopt;
    }
    return rx_buf;
}

std::chrono::steady_clock::time_point LastHeard() {
    return std::chrono::steady_clock::time_point(
        std::chrono::steady_clock::duration(last_heard.load()));
}

void DecodeFrame(const LinkMessage& message) {
    rx_error = false;
    rx_rd_frame = false;
    const bool acknowledge = message.size() == SC_LENGTH && message[0] == SC;
    if (acknowledge || IsValidFrame(message.data(), message.size())) {
        last_heard = std::chrono::steady_clock::now().time_since_epoch().count();
    }
    if (acknowledge) {
        if (wait_sc) {
            wait_sc = false;
            rx_sc = true;
        }
        if (AcknowledgeWaiters() > 0) {
            NotifyLink();
        }
        return;
    }
    if (IsValidFrame(message.data(), message.size())) {
        const unsigned char* frame = message.data();
        switch (DecodeCommand(frame + 1)) {
            case BT:
                SendSC();
                KeepReply(message);
                rx_bt_frame = true;
                rx_enable = false;
                break;
            case DT:
                SendSC();
                KeepReply(message);
                rx_dt_frame = true;
                rx_enable = false;
                break;
            case ER:
                SendSC();
                rx_error = true;
                wait_sc = false;
                NotifyLink();
                // The read asks for the chunk again meanwhile: the receive thread must not
                // wait for the user to close the box.
                Windows().Notify(WindowId::Main, "ERRO", " ", MsgIcon::None);
                break;
            case FM:
                SendSC();
                ShowMessage(WindowId::Main, "Weather station was formated", " ", MsgIcon::None);
                break;
            case RD:
                SendSC();
                KeepReply(message, &rx_rd_frame);
                break;
            case VR:
                SendSC();
                KeepReply(message);
                versao_firmware[0] = static_cast<char>(frame[3]);
                versao_firmware[1] = static_cast<char>(frame[5]);
                versao_firmware[2] = static_cast<char>(frame[6]);
                if (mostrar_info) {
                    ShowMessage(WindowId::Main, VersionText(frame), "Informações do Razurozavi",
                                MsgIcon::None);
                }
                rx_enable = false;
                break;
            case WR:
                SendSC();
                rx_write = true;
                break;
            default:
                break;
        }
    }
    NotifyLink();
}

void ResendTick(bool connected_now, bool cancelled) {
    std::unique_lock lock(sent_mutex);
    if (!wait_sc || !connected_now) {
        return;
    }
    std::error_code error;
    if (n_send > 0 && resend_timer > RESEND_TICKS) {
        n_send.fetch_sub(1);
        resend_timer = 0;
        error = WriteString(buffer.data(), buffer.size());
    }
    if (n_send == 0 && !cancelled) {
        wait_sc = false;
        rx_enable = false;
        rx_error = true;
        lock.unlock();
        NotifyLink();
    } else {
        lock.unlock();
    }
    ActOnWriteError(error);
}

void LinkTick(bool connected_now, bool cancelled) {
    // An increment as one step: a reset by SendFrame in between is never overwritten.
    resend_timer.fetch_add(1);
    ResendTick(connected_now, cancelled);
}

FirmwareVersion CardFirmware() {
    FirmwareVersion version;
    for (int i = 0; i < 3; ++i) {
        version.digits[i] = versao_firmware[i];
    }
    return version;
}

int FirmwareNumber() {
    return FirmwareNumber(CardFirmware());
}

void ForgetFirmware() {
    versao_firmware[0] = 0;
}
