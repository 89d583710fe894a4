// The reading station: every card plugged in is read, archived, checked, and on request
// reported, uploaded and given a new configuration, several cards at a time. The core keeps
// its link state per process, so each card is handled by a child process of its own.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/cloud_outbox.h"
#include "app/open_command.h"
#include "app/recording_keeper.h"
#include "card_connection.h"
#include "command_line.h"
#include "files/archive.h"
#include "files/digest.h"
#include "files/excel.h"
#include "files/ledger.h"
#include "link/serial.h"
#include "logger/logger_commands.h"
#include "reports/pdf.h"
#include "reports/pdf_graph.h"
#include "reports/recording_summary.h"
#include "reports/summary_report.h"

namespace {

// How often the station looks for cards plugged in or pulled out.
constexpr auto STATION_SCAN_PERIOD = std::chrono::milliseconds(200);

struct StationOptions {
    std::string archive;
    std::vector<std::string> ports;  // none: every card port discovery finds
    std::optional<ConfigValues> profile;
    bool reports = false;
    std::optional<CloudServer> upload;
    int cards = 0;          // 0: until SIGINT or SIGTERM
    bool progress = false;  // a line at each new percentage of a card's read
};

// What the line of a card says.
struct CardReport {
    std::string port;
    long serial = 0;
    int readings = 0;
    std::string file;
    std::string state = "failed";
    std::string reason;
    std::string upload;
    std::string verdict;  // none when there was no recording to judge
};

// Where a card's process writes its line: standard output as the station got it. Its own
// standard output goes to standard error, so that nothing else the core prints (the
// upload's progress) comes between the lines.
int report_fd = STDOUT_FILENO;

// One message on one line.
std::string OneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

// In one write, so that the lines of cards done at once never mix.
void WriteLine(const std::string& line) {
    std::fflush(stdout);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(report_fd, line.data() + done, line.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

void PrintReport(const CardReport& report) {
    std::string line = "card port=" + report.port + " serial=" + std::to_string(report.serial) +
                       " readings=" + std::to_string(report.readings) + " file=" + report.file +
                       " state=" + report.state;
    if (report.state == "failed") {
        line += " reason=" + OneLine(report.reason);
    }
    if (!report.upload.empty()) {
        line += " upload=" + report.upload;
    }
    if (!report.verdict.empty()) {
        line += " verdict=" + report.verdict;
    }
    line += '\n';
    WriteLine(line);
}

// The reports beside the archived file, as the data window's buttons make them, each
// recorded in the ledger.
bool WriteReports(const std::string& archive, const std::string& archived, const MemoryImage& image,
                  const RecordingSummary& summary, long serial, std::string* reason) {
    const std::string stem = archived.substr(0, archived.size() - std::string(".mvta").size());
    const TimeBase base = ShownTimeBase(false);
    const std::string table = stem + "-tabela.pdf";
    const std::string graph = stem + "-grafico.pdf";
    const std::string sheet = stem + ".xls";
    const std::string resumo = stem + "-resumo.pdf";
    return WriteTableReportFile(table, image, base, reason) &&
           WriteGraphReportFile(graph, image, base, reason) &&
           WriteExcelFile(sheet, image, base, reason) &&
           WriteSummaryReport(resumo, summary, ReportGmtOffset(image, base), DataFileSha256(image),
                              reason) &&
           RecordInLedger(archive, "report", serial, table, {}, reason) &&
           RecordInLedger(archive, "report", serial, graph, {}, reason) &&
           RecordInLedger(archive, "report", serial, sheet, {}, reason) &&
           RecordInLedger(archive, "report", serial, resumo, {}, reason);
}

// One card, from its version to its line; the child process's exit status.
int HandleCard(const std::string& port, const StationOptions& options,
               ConsoleWindowLayer& console) {
    CardReport report;
    report.port = port;
    const auto failed = [&](const std::string& reason) {
        StopCard();
        report.state = "failed";
        report.reason = reason;
        PrintReport(report);
        return EXIT_FAILED;
    };
    // A refused firmware ends the process from the timer thread: the line goes out first.
    console.SetBeforeEnd([&report, &console] {
        report.reason = console.LastMessage();
        PrintReport(report);
    });
    PortChoice choice;
    if (!choice.Register(port)) {
        return failed("Desconectado");
    }
    if (!ConnectCard([](const Frame&) {}) || !ReadCardConfig()) {
        return failed(console.LastMessage());
    }
    report.serial = config_values.serial;
    if (options.progress) {
        console.SetPercentWatcher([&report](int percent) {
            WriteLine("reading port=" + report.port + " serial=" + std::to_string(report.serial) +
                      " percent=" + std::to_string(percent) + "\n");
        });
    }
    const std::optional<MemoryImage> image = ReadCardMemory();
    console.SetPercentWatcher(nullptr);
    if (!image) {
        return failed(std::string(MSG_READ_CANCELLED));
    }
    report.readings = ImageReadingCount(*image);
    const ConfigValues card_config = config_values;
    std::string reason;
    if (!RecordInLedger(options.archive, "read", report.serial, "",
                        JsonObject().Add("port", port).Add("readings", report.readings), &reason)) {
        return failed(reason);
    }
    const ArchiveResult kept = ArchiveImage(options.archive, *image);
    if (kept.outcome == ArchiveOutcome::Failed) {
        return failed(kept.reason);
    }
    report.file = kept.path;
    if (kept.outcome == ArchiveOutcome::Archived &&
        !RecordInLedger(options.archive, "archive", report.serial, kept.path, {}, &reason)) {
        return failed(reason);
    }
    const RecordingSummary summary = SummarizeImage(*image, *BuiltInProfile(DEFAULT_PROFILE));
    report.verdict = VerdictText(summary.approved);
    if (options.reports &&
        !WriteReports(options.archive, kept.path, *image, summary, report.serial, &reason)) {
        return failed(reason);
    }
    if (options.upload) {
        const UploadOutcome sent = UploadKeepingReadings(
            *image, ConfigFromHeader(image->data()), [&image] { return ImageFirmware(*image); },
            *options.upload, UploadStamp(*image));
        // Not taken and not in the outbox either: the line must not promise a later send.
        if (!sent.accepted && !sent.queued) {
            return failed(sent.text);
        }
        report.upload = sent.accepted ? "sent" : "queued";
    }
    report.state = "archived";
    if (options.profile) {
        ConfigValues values = *options.profile;
        // The card's own serial number decides whether it gets a new one.
        values.serial = config_values.serial;
        if (!SendConfigToCard(values)) {
            return failed("Erro ao efetuar configuração");
        }
        report.state = "rearmed";
        if (!RecordInLedger(options.archive, "configure", report.serial, "",
                            JsonObject()
                                .Add("before", ConfigurationDetails(card_config))
                                .Add("after", ConfigurationDetails(values)),
                            &reason)) {
            return failed(reason);
        }
    }
    StopCard();
    PrintReport(report);
    return EXIT_OK;
}

std::atomic<bool> stop_station{false};

void StopStation(int) {
    stop_station = true;
}

// In a card's process: the read in progress ends cancelled.
void CancelCard(int) {
    cancel_rd = true;
}

void Catch(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A parent that blocks them for a thread of its own (the desktop program does) hands
    // the blocked mask on through exec, and the station would never hear it should stop.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &stop_signals, nullptr);
}

std::set<std::string> PresentPorts(const StationOptions& options) {
    std::set<std::string> present;
    if (!options.ports.empty()) {
        for (const std::string& port : options.ports) {
            if (access(port.c_str(), F_OK) == 0) {
                present.insert(port);
            }
        }
        return present;
    }
    const char* simulated = std::getenv(SIMULATED_PORTS_ENV);
    for (const CardPort& port :
         MatchCardPorts(ReadDeviceMap("/sys/class/tty", simulated != nullptr ? simulated : ""))) {
        if (access(port.device_path.c_str(), F_OK) == 0) {
            present.insert(port.device_path);
        }
    }
    return present;
}

struct PortSlot {
    pid_t child = 0;  // 0 once the card is done
};

bool ParseCount(const std::string& text, int& count) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, count);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && count >= 1;
}

}  // namespace

int RunStation(const CommandLine& args, ConsoleWindowLayer& console) {
    StationOptions options;
    const std::optional<std::string> archive = args.Value("--archive");
    if (!archive) {
        return UsageError("station", "--archive DIR is needed");
    }
    options.archive = AbsolutePath(*archive);
    if (args.Has("--port")) {
        for (const std::string& port : args.options.at("--port")) {
            options.ports.push_back(AbsolutePath(port));
        }
    }
    if (const auto cards = args.Value("--cards"); cards && !ParseCount(*cards, options.cards)) {
        return UsageError("station", "--cards wants a number from 1 on");
    }
    if (args.Has("--upload")) {
        CloudServer server = BuiltInCloudServer();
        if (const auto host = args.Value("--host")) {
            server.host = *host;
        }
        if (const auto port = args.Value("--tcp-port")) {
            int number = 0;
            const char* end = port->data() + port->size();
            const auto result = std::from_chars(port->data(), end, number);
            if (result.ec != std::errc() || result.ptr != end || number < 1 || number > 65535) {
                return UsageError("station", "--tcp-port wants a number from 1 to 65535");
            }
            server.port = number;
        }
        options.upload = server;
    }
    options.reports = args.Has("--reports");
    options.progress = args.Has("--progress");
    if (const auto profile = args.Value("--profile")) {
        ConfigValues values;
        if (LoadConfigFile(*profile, values, WindowId::Main) != FileLoad::Loaded) {
            return EXIT_FAILED;
        }
        options.profile = values;
    }
    // Uploads kept by the station go to its own archive as well.
    SetArchiveFolder(options.archive);

    Catch(StopStation);
    std::map<std::string, PortSlot> slots;
    int done = 0;
    bool any_failed = false;
    const auto reap = [&](int flags) {
        int status = 0;
        pid_t child;
        while ((child = waitpid(-1, &status, flags)) > 0) {
            for (auto& [port, slot] : slots) {
                if (slot.child == child) {
                    slot.child = 0;
                }
            }
            ++done;
            any_failed = any_failed || !WIFEXITED(status) || WEXITSTATUS(status) != EXIT_OK;
        }
    };
    const auto busy = [&slots] {
        for (const auto& [port, slot] : slots) {
            if (slot.child != 0) {
                return true;
            }
        }
        return false;
    };
    while (!stop_station && (options.cards == 0 || done < options.cards)) {
        const std::set<std::string> present = PresentPorts(options);
        // A card pulled out is forgotten: plugged in again, it is handled again.
        for (auto it = slots.begin(); it != slots.end();) {
            it = it->second.child == 0 && present.count(it->first) == 0 ? slots.erase(it)
                                                                        : std::next(it);
        }
        for (const std::string& port : present) {
            if (slots.count(port) != 0) {
                continue;
            }
            std::fflush(stdout);
            std::fflush(stderr);
            const pid_t child = fork();
            if (child == 0) {
                Catch(CancelCard);
                report_fd = dup(STDOUT_FILENO);
                dup2(STDERR_FILENO, STDOUT_FILENO);
                const int status = HandleCard(port, options, console);
                std::fflush(nullptr);
                _exit(status);
            }
            if (child > 0) {
                slots[port].child = child;
            }
        }
        reap(WNOHANG);
        std::this_thread::sleep_for(STATION_SCAN_PERIOD);
    }
    // Cards still being read end cancelled; their lines still come.
    for (const auto& [port, slot] : slots) {
        if (slot.child != 0) {
            kill(slot.child, SIGTERM);
        }
    }
    while (busy()) {
        reap(0);
    }
    if (options.cards == 0) {
        return EXIT_OK;
    }
    return any_failed ? EXIT_FAILED : EXIT_OK;
}
