#include "logger/operation_engine.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/window_layer.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/logger_commands.h"
#include "logger/memory_image.h"

std::atomic<unsigned char> dl_state{DL_IDLE};
std::atomic<bool> read_ok{false};
std::atomic<bool> new_data{false};
std::atomic<bool> new_config{false};

namespace {

std::thread operation_thread;
std::atomic<bool> operation_thread_run{false};

// Wakes the operation thread on a request or a stop, and whoever waits for the engine to
// become idle.
std::mutex engine_mutex;
std::condition_variable engine_changed;

void NotifyEngine() {
    { std::lock_guard lock(engine_mutex); }
    engine_changed.notify_all();
}

void EnterIdle() {
    dl_state = DL_IDLE;
    NotifyEngine();
}

bool OperationRequested() {
    const unsigned char state = dl_state;
    return state != DL_IDLE && state <= DL_RD_BATT;
}

void Status(std::string_view text) {
    Windows().SetControlText(WindowId::Main, ID_STATUS, text);
}

// The connection's own status once an operation ends: "Conectado", or for a port lost
// meanwhile the status its loss or a later scan gave it, with its reason, which a reply
// taken just before the loss may have covered with the operation's own text.
void StatusAfterOperation() {
    Status(connected ? std::string("Conectado") : ConnectionStatus());
}

// The controls an operation leaves behind; the card's commands only while it is there.
void Finish() {
    WindowLayer& windows = Windows();
    windows.EnableControl(WindowId::Main, BT_OPEN, true);
    windows.EnableControl(WindowId::Main, BT_QUIT, true);
    windows.EnableControl(WindowId::Main, BT_CANCEL, false);
    windows.EnableMenuItem(IDM_DATACANCEL, false);
    if (connected) {
        for (int control : {BT_READ, BT_CONFIG, BT_INFO}) {
            windows.EnableControl(WindowId::Main, control, true);
        }
        for (int item : {IDM_FILEOPEN, IDM_DATAREAD, IDM_CONFIG, IDM_HELPCONVINFO}) {
            windows.EnableMenuItem(item, true);
        }
    }
    windows.SetProgressPosition(0);
    EnterIdle();
}

// One read: ReadWeatherStation asks again for what did not come, so a false is final.
void ReadOnce(bool keep_firmware) {
    read_ok = !cancel_rd && ReadWeatherStation(data_in);
    if (read_ok && keep_firmware) {
        SetImageFirmware(data_in, CardFirmware());
    }
}

bool ConfirmedOk(std::string_view text, std::string_view caption) {
    return Windows().MessageBox(WindowId::Main, text, caption, MsgIcon::None, MsgButtons::Ok) ==
           MsgAnswer::Ok;
}

void Read() {
    ReadParWeatherStation();
    Status("Conectando...");
    ReadOnce(true);
    StatusAfterOperation();
    if (read_ok && !cancel_rd) {
        Windows().EnableControl(WindowId::Main, BT_CANCEL, false);
        rx_enable = false;
        if (ConfirmedOk("Leitura Bem Sucedida", "Leitura")) {
            new_data = true;
        }
    } else {
        // The receive thread ends, so that the port scan notices a card that went away.
        rx_enable = false;
        ShowMessage(WindowId::Main, "Leitura Cancelada", "Cancelar", MsgIcon::Warning);
    }
    Finish();
}

void ReadAndErase() {
    Status("Conectando...");
    ReadOnce(false);
    StatusAfterOperation();
    if (read_ok && !cancel_rd) {
        Windows().EnableControl(WindowId::Main, BT_CANCEL, false);
        WeatherStationClear();
        WaitForLink([] { return rx_write.load(); }, std::chrono::milliseconds(REPLY_TIMEOUT_MS));
        rx_write = false;
        rx_enable = false;
        if (ConfirmedOk("Operação de Ler/Apagar bem sucedida", "Ler/Apagar")) {
            new_data = true;
        }
    } else {
        rx_enable = false;
        ShowMessage(WindowId::Main, "Ler/Apagar cancelado", "Cancelar", MsgIcon::Warning);
    }
    Finish();
}

void ReadConfiguration() {
    Status("Conectando...");
    // A port that is gone ends the attempts: they could only fail.
    while (!cancel_rd && !read_ok && connected) {
        rx_error = false;
        read_ok = ReadParWeatherStation();
    }
    if (read_ok && !cancel_rd) {
        rx_enable = false;
        if (ConfirmedOk("Configuração lida com sucesso", "Config")) {
            new_config = true;
        }
    } else {
        ShowMessage(WindowId::Main, "Configuração Cancelada", "Cancelar", MsgIcon::Warning);
    }
    StatusAfterOperation();
    WindowLayer& windows = Windows();
    for (int control : {BT_OPEN, BT_READ, BT_CONFIG, BT_INFO, BT_QUIT}) {
        windows.EnableControl(WindowId::Main, control, true);
    }
    for (int item : {IDM_FILEOPEN, IDM_DATAREAD, IDM_CONFIG, IDM_HELPCONVINFO}) {
        windows.EnableMenuItem(item, true);
    }
    windows.EnableControl(WindowId::Main, BT_CANCEL, false);
    windows.EnableMenuItem(IDM_DATACANCEL, false);
    EnterIdle();
}

// The date reply, or nothing once the wait is over: a card that never answers must not
// hold the engine.
void ReadDate() {
    if (WaitForLink([] { return rx_dt_frame || cancel_rd; },
                    std::chrono::milliseconds(REPLY_TIMEOUT_MS)) &&
        rx_dt_frame) {
        rx_dt_frame = false;
        RazurozaviViewDate();
    } else {
        rx_enable = false;
    }
    EnterIdle();
}

void OperationThread() {
    while (operation_thread_run) {
        {
            // The timeout still catches a request written to dl_state directly.
            std::unique_lock lock(engine_mutex);
            engine_changed.wait_for(lock, std::chrono::milliseconds(ENGINE_POLL_MS),
                                    [] { return !operation_thread_run || OperationRequested(); });
        }
        RunRequestedOperation();
    }
}

}  // namespace

void RunRequestedOperation() {
    switch (dl_state) {
        case DL_READ:
            Read();
            break;
        case DL_IMPORT:
            ReadAndErase();
            break;
        case DL_CONFIG:
            ReadConfiguration();
            break;
        case DL_RD_DATE:
            ReadDate();
            break;
        case DL_FORMAT:
        case DL_ADJ_DATE:
        case DL_RD_BATT:
            EnterIdle();
            break;
        default:
            break;
    }
}

void RequestOperation(unsigned char state) {
    dl_state = state;
    NotifyEngine();
}

bool WaitForEngineIdle(int timeout_ms) {
    std::unique_lock lock(engine_mutex);
    return engine_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                   [] { return dl_state == DL_IDLE; });
}

void StartOperationThread() {
    operation_thread_run = true;
    operation_thread = std::thread(OperationThread);
}

void StopOperationThread() {
    operation_thread_run = false;
    NotifyEngine();
    if (operation_thread.joinable()) {
        operation_thread.join();
    }
}
