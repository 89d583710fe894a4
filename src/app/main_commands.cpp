#include "app/main_commands.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/cloud_outbox.h"
#include "app/config_fields.h"
#include "app/open_command.h"
#include "app/recording_keeper.h"
#include "app/shown_time.h"
#include "base/card_timing.h"
#include "base/window_layer.h"
#include "cloud/upload.h"
#include "files/ledger.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/graph_series.h"
#include "logger/logger_commands.h"
#include "logger/memory_image.h"
#include "logger/operation_engine.h"
#include "logger/reading_list.h"

std::atomic<int> timmer_100ms{0};

namespace {

std::thread timer_thread;
std::atomic<bool> timer_thread_run{false};

std::mutex hand_off_mutex;
CloudServer hand_off_server = BuiltInCloudServer();

// Ends the timer thread's wait early when it is stopped.
std::mutex timer_mutex;
std::condition_variable timer_stop;

void TimerThread() {
    while (timer_thread_run) {
        {
            std::unique_lock lock(timer_mutex);
            if (timer_stop.wait_for(lock, std::chrono::milliseconds(TIMER_TICK_MS),
                                    [] { return !timer_thread_run; })) {
                return;
            }
        }
        TimerTick();
    }
}

}  // namespace

std::string SerialLabelText(long serial) {
    return "Serial #: " + std::to_string(serial);
}

namespace {

void ShowOpened(const OpenedFile& opened) {
    WindowLayer& windows = Windows();
    switch (opened.kind) {
        case OpenedKind::DataFile:
            windows.OpenDataWindow();
            WeatherStationViewData(data_in, DataWindowTimeBase());
            windows.SetWindowTitle(WindowId::Data, opened.path);
            // The file's own card, not the one read last.
            windows.SetControlText(WindowId::Data, TXT_SERIAL,
                                   SerialLabelText(ConfigFromHeader(data_in.data()).serial));
            windows.EnableControl(WindowId::Main, BT_OPEN, false);
            windows.EnableMenuItem(IDM_FILEOPEN, false);
            windows.EnableControl(WindowId::Data, BT_DATA_SAVE, false);
            break;
        case OpenedKind::ConfigFile:
            windows.OpenConfigWindow();
            windows.SetWindowTitle(WindowId::Config, opened.path);
            WeatherStationViewPar();
            CalcRecTime();
            windows.EnableControl(WindowId::Config, BT_CONFIG_WRITE, connected);
            break;
        case OpenedKind::Nothing:
            break;
    }
}

}  // namespace

void CommandOpen() {
    ShowOpened(OpenFromMainWindow());
}

void CommandOpenFile(const std::string& path) {
    ShowOpened(OpenPath(path));
}

void CommandRead() {
    ForgetLastChosenFile();
    timmer_100ms = 0;
    StartRxThread();
    cancel_rd = false;
    read_ok = false;
    WindowLayer& windows = Windows();
    windows.SetProgressPosition(0);
    for (int control : {BT_OPEN, BT_READ, BT_CONFIG, BT_INFO, BT_QUIT}) {
        windows.EnableControl(WindowId::Main, control, false);
    }
    windows.EnableControl(WindowId::Main, BT_CANCEL, true);
    windows.EnableMenuItem(IDM_FILEOPEN, false);
    windows.EnableMenuItem(IDM_DATACANCEL, true);
    for (int item : {IDM_DATAREAD, IDM_CONFIG, IDM_HELPCONVINFO}) {
        windows.EnableMenuItem(item, false);
    }
    // Last: the engine starts at once, and its finish must come after these controls.
    RequestOperation(DL_READ);
}

void CommandConfig() {
    timmer_100ms = 0;
    StartRxThread();
    cancel_rd = false;
    read_ok = false;
    RequestOperation(DL_CONFIG);
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

bool CommandConfigWrite() {
    ConfigValues values;
    if (!TakeCheckedConfigFields(values)) {
        return false;
    }
    // The write starts a new recording on the card: the one it holds is kept first.
    if (!KeepRecordingBeforeWrite()) {
        rx_enable = false;
        return false;
    }
    config_values = values;
    timmer_100ms = 0;
    StartRxThread();
    cancel_rd = false;
    read_ok = false;
    rx_sc = false;
    // Sent is not taken: only the card's acknowledge says the configuration arrived.
    const bool written = WriteConfigToCard(config_values) &&
                         WaitForAcknowledge([] { return rx_sc || rx_error || !connected; },
                                            std::chrono::milliseconds(ACKNOWLEDGE_WAIT_MS)) &&
                         rx_sc;
    if (written) {
        ShowMessage(WindowId::Config, "Configuração efetuada com sucesso\n", "Configurar",
                    MsgIcon::Exclamation);
        // The card's configuration before the write is the header read just before it.
        std::string reason;
        if (!RecordInLedger(
                ArchiveFolder(), "configure", config_values.serial, "",
                JsonObject()
                    .Add("before", ConfigurationDetails(ConfigFromHeader(LastCardHeader().data())))
                    .Add("after", ConfigurationDetails(config_values)),
                &reason)) {
            ShowMessage(WindowId::Config, reason, "Erro", MsgIcon::Stop);
        }
    } else {
        ShowMessage(WindowId::Config, "Erro ao efetuar configuração", "Erro", MsgIcon::Stop);
    }
    rx_enable = false;
    return written;
}

void RestoreMainWindowControls() {
    if (dl_state == DL_READ || dl_state == DL_IMPORT) {
        return;  // the read restores them when it ends
    }
    WindowLayer& windows = Windows();
    windows.EnableControl(WindowId::Main, BT_OPEN, true);
    windows.EnableControl(WindowId::Main, BT_QUIT, true);
    windows.EnableMenuItem(IDM_FILEOPEN, true);
    if (connected) {
        EnableCardCommands(true);
    }
}

void EnableCardCommands(bool enabled) {
    WindowLayer& windows = Windows();
    for (int control : {BT_READ, BT_CONFIG, BT_INFO}) {
        windows.EnableControl(WindowId::Main, control, enabled);
    }
    for (int item : {IDM_DATAREAD, IDM_CONFIG, IDM_HELPCONVINFO}) {
        windows.EnableMenuItem(item, enabled);
    }
}

// The card's version as a fresh query gives it: the reply clears rx_enable; after about
// 3 s the upload goes on with whatever is known.
static FirmwareVersion RefreshCardFirmware() {
    buscaVersao(false);
    WaitForLink([] { return !rx_enable; }, std::chrono::milliseconds(FIRMWARE_REFRESH_WAIT_MS));
    return CardFirmware();
}

int EnviaNuvem(const CloudServer& server) {
    Windows().SetControlText(WindowId::Main, ID_STATUS, "Enviando para servidor remoto");
    GraphData(data_in, 0, 0, DataWindowTimeBase());
    const UploadOutcome outcome =
        UploadKeepingReadings(data_in, config_values, RefreshCardFirmware, server, cal);
    ShowMessage(WindowId::Main, outcome.text, outcome.caption, outcome.icon);
    return 0;
}

void SetHandOffCloudServer(const CloudServer& server) {
    std::lock_guard lock(hand_off_mutex);
    hand_off_server = server;
}

CloudServer HandOffCloudServer() {
    std::lock_guard lock(hand_off_mutex);
    return hand_off_server;
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
            WeatherStationViewData(data_in, DataWindowTimeBase());
        } else {
            // Up to 10 s a reply: the windows keep painting meanwhile.
            const CloudServer server = HandOffCloudServer();
            Windows().RunBusy("Enviando para servidor remoto", [&server] { EnviaNuvem(server); });
        }
        new_data = false;
    }
    if (read_ok && new_config) {
        Windows().OpenConfigWindow();
        WeatherStationViewPar();
        CalcRecTime();
        new_config = false;
        Windows().EnableControl(WindowId::Config, BT_CONFIG_WRITE, true);
    }
}

void TimerTick() {
    LinkTick(connected, cancel_rd);
    if (!rx_enable) {
        if (timmer_100ms.fetch_add(1) + 1 > PORT_SCAN_TICKS) {
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
        RequestOperation(DL_RD_BATT);
        mostrar_info = false;
        WeatherStationVersion();
    }
}

bool ReleaseCardPort() {
    // The timer thread stopped first asks for no operation of its own meanwhile.
    StopTimerThread();
    if (dl_state != DL_IDLE) {
        StartTimerThread();
        return false;
    }
    ClosePort();
    if (connected.exchange(false)) {
        ForgetFirmware();
    }
    WindowLayer& windows = Windows();
    windows.SetProgressPosition(0);
    windows.SetControlText(WindowId::Main, ID_STATUS, "Estação de leitura em funcionamento");
    windows.EnableControl(WindowId::Config, BT_CONFIG_WRITE, false);
    return true;
}

void WatchForCardAgain() {
    timmer_100ms = 0;
    GetPortNames();
    Windows().EnableControl(WindowId::Config, BT_CONFIG_WRITE, connected);
    StartTimerThread();
}

void StartTimerThread() {
    timer_thread_run = true;
    timer_thread = std::thread(TimerThread);
}

void StopTimerThread() {
    {
        std::lock_guard lock(timer_mutex);
        timer_thread_run = false;
    }
    timer_stop.notify_all();
    if (timer_thread.joinable()) {
        timer_thread.join();
    }
}
