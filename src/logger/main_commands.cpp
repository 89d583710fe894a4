#include "logger/main_commands.h"

#include <thread>

#include "cloud/upload.h"
#include "files/file.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/logger_commands.h"
#include "logger/memory_image.h"
#include "logger/operation_engine.h"
#include "logger/reading_list.h"
#include "ui/window_layer.h"

std::atomic<int> timmer_100ms{0};

namespace {

std::thread timer_thread;
std::atomic<bool> timer_thread_run{false};

void TimerThread() {
    while (timer_thread_run) {
        std::this_thread::sleep_for(std::chrono::milliseconds(TIMER_TICK_MS));
        TimerTick();
    }
}

}  // namespace

void CommandRead() {
    timmer_100ms = 0;
    StartRxThread();
    cancel_rd = false;
    read_ok = false;
    WindowLayer& windows = Windows();
    windows.SetProgressPosition(0);
    dl_state = DL_READ;
    for (int control : {BT_OPEN, BT_READ, BT_CONFIG, BT_INFO, BT_QUIT}) {
        windows.EnableControl(WindowId::Main, control, false);
    }
    windows.EnableControl(WindowId::Main, BT_CANCEL, true);
    windows.EnableMenuItem(IDM_FILEOPEN, false);
    windows.EnableMenuItem(IDM_DATACANCEL, true);
    for (int item : {IDM_DATAREAD, IDM_CONFIG, IDM_HELPCONVINFO}) {
        windows.EnableMenuItem(item, false);
    }
}

void CommandConfig() {
    timmer_100ms = 0;
    StartRxThread();
    cancel_rd = false;
    read_ok = false;
    dl_state = DL_CONFIG;
}

void CommandCancel() {
    cancel_rd = true;
    wait_sc = false;
    rx_enable = false;
    NotifyLink();
}

void buscaVersao(bool mostrar) {
    mostrar_info = mostrar;
    timmer_100ms = 0;
    cancel_rd = false;
    read_ok = false;
    StartRxThread();
    WeatherStationVersion();
}

void CheckOperationResults() {
    if (read_ok && new_data) {
        if (ImageNeverStarted(data_in)) {
            ShowMessage(WindowId::Main,
                        "Não há medições registradas, pois este KELTRIX não foi previamente "
                        "iniciado.",
                        "Aviso", MsgIcon::Exclamation);
        } else if (!config_values.modo_nuvem) {
            Windows().OpenDataWindow();
            WeatherStationViewData(data_in);
        } else {
            EnviaNuvem();
        }
        new_data = false;
    }
    if (read_ok && new_config) {
        Windows().OpenConfigWindow();
        WeatherStationViewPar();
        new_config = false;
        Windows().EnableControl(WindowId::Config, BT_CONFIG_WRITE, true);
    }
}

void TimerTick() {
    resend_timer = resend_timer + 1;
    ResendTick(connected, cancel_rd);
    if (!rx_enable) {
        timmer_100ms = timmer_100ms + 1;
        if (timmer_100ms > PORT_SCAN_TICKS) {
            timmer_100ms = 0;
            GetPortNames();
        }
    }
    if (!connected) {
        ForgetFirmware();
        rx_enable = false;
    }
    const int firmware = FirmwareNumber();
    if (connected && firmware != 0 && firmware != ACCEPTED_FIRMWARE) {
        connected = false;
        Windows().MessageBox(WindowId::Main, MSG_FIRMWARE_INCOMPATIBLE, CAPTION_ATTENTION,
                             MsgIcon::None, MsgButtons::Ok);
        Windows().EndProcess(0);
        return;
    }
    if (connected && firmware == 0 && !rx_enable) {
        timmer_100ms = 0;
        GetPortNames();
        if (!connected) {
            return;
        }
        StartRxThread();
        dl_state = DL_RD_BATT;
        mostrar_info = false;
        WeatherStationVersion();
    }
}

void StartTimerThread() {
    timer_thread_run = true;
    timer_thread = std::thread(TimerThread);
}

void StopTimerThread() {
    timer_thread_run = false;
    if (timer_thread.joinable()) {
        timer_thread.join();
    }
}
