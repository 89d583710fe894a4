// razurozavi: the desktop program. With --demo a simulated card is plugged in (with
// --demo-cards N, N of them in turn), registered in a private folder that is removed at exit;
// without it a real card is looked for, and the simulated ones registered where
// RAZUROZAVI_SIMULATED_PORTS says, as the companion does.

#include <getopt.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QTimer>

#include "app/main_commands.h"
#include "app/recording_keeper.h"
#include "base/number_text.h"
#include "link/serial.h"
#include "simcard/simulated_card.h"
#include "ui/program_application.h"
#include "ui/qt_window_layer.h"

namespace {

constexpr const char* SYSTEM_TTY_CLASS = "/sys/class/tty";

// The simulated cards of the demonstration, paced as real cards are, plugged in one after
// another, each under a port name of its own in a private folder that discovery and the
// reading station's companion both look in.
class DemonstrationCards {
  public:
    bool Prepare(std::string* why) {
        char folder[] = "/tmp/razurozavi-demo-XXXXXX";
        if (mkdtemp(folder) == nullptr) {
            *why = "no temporary folder";
            return false;
        }
        folder_ = folder;
        SetDeviceMapRoots(SYSTEM_TTY_CLASS, folder_);
        setenv(SIMULATED_PORTS_ENV, folder_.c_str(), 1);
        return true;
    }
    bool PlugNext(std::string* why) {
        SimulatedCardOptions options;
        options.baud_pace = true;
        options.registration_dir = folder_;
        auto card = std::make_unique<SimulatedCard>(options);
        if (!card->Start(why)) {
            return false;
        }
        card->SetMemory(BuildDemonstrationRecording(static_cast<int>(cards_.size())));
        cards_.push_back(std::move(card));
        return true;
    }
    ~DemonstrationCards() {
        for (auto& card : cards_) {
            card->Stop();
        }
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
        }
    }

  private:
    std::string folder_;
    std::vector<std::unique_ptr<SimulatedCard>> cards_;
};

// Time between two demonstration cards plugged in.
constexpr int DEMO_CARD_GAP_MS = 3000;

// Ctrl-C, kill and a closed terminal end the program as its own "Sair" does, so that the
// threads stop and the demonstration's folder is removed. Blocked before any thread starts,
// so only the watcher takes them.
class StopSignals {
  public:
    StopSignals() {
        sigemptyset(&signals_);
        for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
            sigaddset(&signals_, signal_number);
        }
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    }
    void Watch(QtWindowLayer& layer) {
        watcher_ = std::thread([this, &layer] {
            int signal_number = 0;
            sigwait(&signals_, &signal_number);
            if (!ended_) {
                layer.EndProcess(0);
            }
        });
    }
    // Lets the watcher go once the program has ended by itself.
    void Stop() {
        if (watcher_.joinable()) {
            ended_ = true;
            pthread_kill(watcher_.native_handle(), SIGTERM);
            watcher_.join();
        }
    }

  private:
    sigset_t signals_;
    std::atomic<bool> ended_{false};
    std::thread watcher_;
};

constexpr const char* kUsage =
    "usage: razurozavi [--demo] [--demo-cards N] [--archive DIR] [FILE]\n"
    "       razurozavi --help | --version\n"
    "FILE: a data file (*.mvta) or a configuration file (*.mcfg) to open.\n"
    "--demo: plug in a simulated card.\n"
    "--demo-cards N: plug in N simulated cards, one every few seconds.\n"
    "--archive DIR: the archive folder of the reading station and of \"Gravar\".\n";

struct ProgramArguments {
    int demo_cards = 0;
    std::string archive;
    std::string file;
};

bool ParseCardCount(const char* text, int& count) {
    const std::optional<long> value = ParseWholeNumber(text, 2);
    if (!value || *value < 1) {
        return false;
    }
    count = static_cast<int>(*value);
    return true;
}

// Parsed before Qt starts, so that --help and --version need no display. Returns the exit
// status when the program ends here.
std::optional<int> ParseArguments(int argc, char** argv, ProgramArguments& parsed) {
    enum Option { kDemo = 1, kDemoCards, kArchive, kHelp, kVersion };
    const option table[] = {{"demo", no_argument, nullptr, kDemo},
                            {"demo-cards", required_argument, nullptr, kDemoCards},
                            {"archive", required_argument, nullptr, kArchive},
                            {"help", no_argument, nullptr, kHelp},
                            {"version", no_argument, nullptr, kVersion},
                            {nullptr, 0, nullptr, 0}};
    opterr = 0;
    for (;;) {
        const int found = getopt_long(argc, argv, "+", table, nullptr);
        if (found == -1) {
            break;
        }
        switch (found) {
            case kDemo:
                parsed.demo_cards = std::max(parsed.demo_cards, 1);
                break;
            case kDemoCards:
                if (!ParseCardCount(optarg, parsed.demo_cards)) {
                    std::fprintf(stderr, "--demo-cards wants a number from 1 to 99\n%s", kUsage);
                    return 2;
                }
                break;
            case kArchive:
                parsed.archive = optarg;
                break;
            case kHelp:
                std::fputs(kUsage, stdout);
                return 0;
            case kVersion:
                std::printf("razurozavi %s\n", RAZUROZAVI_VERSION);
                return 0;
            default:
                std::fprintf(stderr, "unknown option: %s\n%s", argv[optind - 1], kUsage);
                return 2;
        }
    }
    if (argc - optind > 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (optind < argc) {
        parsed.file = argv[optind];
    }
    return std::nullopt;
}

// Qt would abort without a display; say so in one line instead.
bool DisplayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0') {
        return true;
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

int main(int argc, char** argv) {
    ProgramArguments parsed;
    if (const std::optional<int> status = ParseArguments(argc, argv, parsed)) {
        return *status;
    }
    if (!DisplayAvailable()) {
        std::fputs(
            "razurozavi: no display to show the windows on (DISPLAY and WAYLAND_DISPLAY "
            "are not set)\n",
            stderr);
        return 1;
    }
    StopSignals stop_signals;
    ProgramApplication app(argc, argv);
    LoadTranslations(app);
    if (!parsed.archive.empty()) {
        SetArchiveFolder(std::filesystem::absolute(parsed.archive).string());
    }
    DemonstrationCards demonstration;
    if (parsed.demo_cards > 0) {
        std::string why;
        if (!demonstration.Prepare(&why) || !demonstration.PlugNext(&why)) {
            std::fprintf(stderr, "razurozavi: the simulated card could not be plugged in (%s)\n",
                         why.c_str());
            return 1;
        }
    }
    for (int card = 1; card < parsed.demo_cards; ++card) {
        QTimer::singleShot(card * DEMO_CARD_GAP_MS, &app, [&demonstration] {
            std::string why;
            if (!demonstration.PlugNext(&why)) {
                std::fprintf(stderr, "razurozavi: a simulated card could not be plugged in (%s)\n",
                             why.c_str());
            }
        });
    }
    DesktopProgram program(app);
    program.Start();
    if (!parsed.file.empty()) {
        // Once the main window shows, as its "Abrir" would.
        QTimer::singleShot(0, &app, [file = parsed.file] { CommandOpenFile(file); });
    }
    stop_signals.Watch(program.Layer());
    const int exit_code = app.exec();
    stop_signals.Stop();
    program.Stop();
    return exit_code;
}
