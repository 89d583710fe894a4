// The commands on the card: info, read, read-config, write-config. Each finds the card as the
// program does (or takes --port), asks for its version, and then runs the program's own
// commands and operation engine.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "app/main_commands.h"
#include "app/open_command.h"
#include "app/recording_keeper.h"
#include "base/card_timing.h"
#include "card_connection.h"
#include "command_line.h"
#include "files/ledger.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/cp1252.h"
#include "logger/logger_commands.h"
#include "logger/operation_engine.h"

bool PortChoice::Register(const CommandLine& args) {
    const std::optional<std::string> device = args.Value("--port");
    return !device || Register(*device);
}

namespace {

// The registration folder of this process: also removed by an end that runs no destructor
// (a refused firmware ends the companion from its timer thread, through quick_exit).
std::mutex chosen_port_mutex;
std::string chosen_port_dir;

void RemoveChosenPort() {
    std::lock_guard lock(chosen_port_mutex);
    if (!chosen_port_dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(chosen_port_dir, ignored);
        chosen_port_dir.clear();
    }
}

}  // namespace

bool PortChoice::Register(const std::string& device) {
    std::error_code error;
    std::filesystem::path tmp = std::filesystem::temp_directory_path(error);
    std::string pattern =
        (error ? std::filesystem::path("/tmp") : tmp).string() + "/razurozavi-cli-port-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        return false;
    }
    [[maybe_unused]] static const int once_a_process = std::at_quick_exit(RemoveChosenPort);
    registered_ = true;
    {
        std::lock_guard lock(chosen_port_mutex);
        chosen_port_dir = pattern;
    }
    std::filesystem::create_symlink(AbsolutePath(device), pattern + "/ttyACM0", error);
    SetDeviceMapRoots("", pattern);
    return !error;
}

PortChoice::~PortChoice() {
    if (registered_) {
        RemoveChosenPort();
    }
}

namespace {

// Runs the resend rule by hand until `done()` holds or the frame is given up.
template <typename Done>
bool TickUntil(Done done) {
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(ACKNOWLEDGE_WAIT_MS);
    while (!done() && !rx_error && std::chrono::steady_clock::now() < end) {
        WaitForLink(done, std::chrono::milliseconds(TIMER_TICK_MS));
        LinkTick(connected, cancel_rd);
    }
    return done();
}

}  // namespace

void Fail(std::string_view text, std::string_view caption) {
    ShowMessage(WindowId::Main, text, caption, MsgIcon::Stop);
}

bool ConnectCard(const std::function<void(const Frame&)>& on_version) {
    GetPortNames();
    if (!connected) {
        Fail("Desconectado: nenhum KELTRIX encontrado");
        return false;
    }
    buscaVersao(false);
    if (!TickUntil([] { return FirmwareNumber() != 0; })) {
        Fail("O KELTRIX não respondeu");
        return false;
    }
    on_version(ReplyFrame());
    std::fflush(stdout);
    StartTimerThread();
    StartOperationThread();
    if (FirmwareNumber() != ACCEPTED_FIRMWARE) {
        // The timer thread shows the refusal and ends the process at its next tick.
        std::this_thread::sleep_for(std::chrono::milliseconds(FIRMWARE_REFUSAL_EXIT_MS));
        return false;
    }
    return true;
}

void StopCard() {
    StopTimerThread();
    StopOperationThread();
    ClosePort();
}

namespace {

void WaitForIdleEngine() {
    while (!WaitForEngineIdle(ENGINE_POLL_MS)) {
    }
}

void PrintConfigValues(const ConfigValues& v) {
    std::printf(
        "sample_points=%d\nsample_rate=%d\nled_cycle=%d\nflash_alarm=%d\ntemp_unit=%d\n"
        "t_low_alarm=%d\nt_high_alarm=%d\nstart_delay=%d\nalarm_delay=%d\nserial=%ld\n"
        "descricao=%s\nmodo_nuvem=%d\n",
        v.sample_points, v.sample_rate, v.led_cycle, v.flash_alarm ? 1 : 0, v.temp_unit,
        v.t_low_alarm, v.t_high_alarm, v.start_delay, v.alarm_delay, v.serial,
        Cp1252ToUtf8(DescriptionBytes(v.descricao.data())).c_str(), v.modo_nuvem ? 1 : 0);
}

}  // namespace

bool SendConfigToCard(ConfigValues& values) {
    rx_sc = false;
    return WriteConfigToCard(values) &&
           WaitForAcknowledge([] { return rx_sc || rx_error; },
                              std::chrono::milliseconds(ACKNOWLEDGE_WAIT_MS)) &&
           rx_sc;
}

bool ReadCardConfig() {
    StartRxThread();
    if (!ReadParWeatherStation()) {
        Fail("Configuração Cancelada", "Cancelar");
        return false;
    }
    return true;
}

int RunInfo(const CommandLine& args, ConsoleWindowLayer&) {
    PortChoice port;
    if (!port.Register(args)) {
        return UsageError("info", "cannot use --port " + *args.Value("--port"));
    }
    const bool accepted = ConnectCard([](const Frame& reply) {
        std::printf("firmware=%.4s\nhardware=%.3s\n", reinterpret_cast<const char*>(&reply[3]),
                    reinterpret_cast<const char*>(&reply[7]));
    });
    StopCard();
    return accepted ? EXIT_OK : EXIT_FAILED;
}

int RunRead(const CommandLine& args, ConsoleWindowLayer&) {
    const std::string out = AbsolutePath(args.positional[0]);
    if (!CheckDataExtension(out)) {
        return UsageError("read", "OUT must end in .mvta");
    }
    PortChoice port;
    if (!port.Register(args) || !ConnectCard([](const Frame&) {})) {
        StopCard();
        return EXIT_FAILED;
    }
    CommandRead();
    WaitForIdleEngine();
    const bool read = read_ok && new_data;
    StopCard();
    if (!read) {
        return EXIT_FAILED;
    }
    std::string reason;
    if (!WeatherStationExport(out, data_in, &reason)) {
        Fail("Não foi possível gravar o arquivo " + out + ": " + reason);
        return EXIT_FAILED;
    }
    std::printf("readings=%d\n", ImageReadingCount(data_in));
    return EXIT_OK;
}

int RunReadConfig(const CommandLine& args, ConsoleWindowLayer&) {
    const std::optional<std::string> save = args.Value("--save");
    if (save && !CheckCfgExtension(*save)) {
        return UsageError("read-config", "--save wants a .mcfg file");
    }
    PortChoice port;
    const bool read = port.Register(args) && ConnectCard([](const Frame&) {}) && ReadCardConfig();
    StopCard();
    if (!read) {
        return EXIT_FAILED;
    }
    PrintConfigValues(config_values);
    std::string reason;
    if (save && !SaveConfigFile(AbsolutePath(*save), config_values, &reason)) {
        Fail("Não foi possível gravar o arquivo " + *save + ": " + reason);
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

int RunWriteConfig(const CommandLine& args, ConsoleWindowLayer&) {
    std::optional<std::string> description;
    if (const auto text = args.Value("--description")) {
        description = Utf8ToCp1252(*text);
        if (description->size() > DESCRIPTION_MAX_CHARS) {
            return UsageError("write-config", "--description holds at most 20 characters");
        }
    }
    ConfigValues values;
    if (LoadConfigFile(args.positional[0], values, WindowId::Main) != FileLoad::Loaded) {
        return EXIT_FAILED;
    }
    PortChoice port;
    if (!port.Register(args) || !ConnectCard([](const Frame&) {}) || !ReadCardConfig()) {
        StopCard();
        return EXIT_FAILED;
    }
    if (const std::optional<std::string> archive = args.Value("--archive")) {
        const MemoryImage header = LastCardHeader();
        if (ImageReadingCount(header) == 0 || ImageNeverStarted(header)) {
            std::printf("archived=none\n");
        } else {
            const ArchiveResult kept = ReadAndArchiveCard(AbsolutePath(*archive));
            if (kept.outcome == ArchiveOutcome::Failed) {
                StopCard();
                Fail(kept.reason);
                return EXIT_FAILED;
            }
            std::printf("archived=%s\n", kept.path.c_str());
        }
        std::fflush(stdout);
    }
    // The card's own serial number decides whether it gets a new one.
    values.serial = config_values.serial;
    if (description) {
        SetDescription(values.descricao, *description);
    }
    const ConfigValues card_config = config_values;
    const bool sent = SendConfigToCard(values);
    StopCard();
    if (!sent) {
        Fail("Erro ao efetuar configuração");
        return EXIT_FAILED;
    }
    if (const std::optional<std::string> archive = args.Value("--archive")) {
        std::string reason;
        if (!RecordInLedger(AbsolutePath(*archive), "configure", values.serial, "",
                            JsonObject()
                                .Add("before", ConfigurationDetails(card_config))
                                .Add("after", ConfigurationDetails(values)),
                            &reason)) {
            Fail(reason);
            return EXIT_FAILED;
        }
    }
    config_values = values;
    std::printf("serial=%ld\n", values.serial);
    return EXIT_OK;
}
