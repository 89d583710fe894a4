// razurozavi: the desktop program. With --demo a simulated card is plugged in, registered in
// a private folder that is removed at exit; without it a real card is looked for, and the
// simulated ones registered where RAZUROZAVI_SIMULATED_PORTS says, as the companion does.

#include <getopt.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include <QTimer>

#include "app/main_commands.h"
#include "link/serial.h"
#include "simcard/simulated_card.h"
#include "ui/program_application.h"
#include "ui/qt_window_layer.h"

namespace {

constexpr const char* SYSTEM_TTY_CLASS = "/sys/class/tty";

// The simulated card of the demonstration, paced as a real card is.
class DemonstrationCard {
  public:
    bool Plug(std::string* why) {
        char folder[] = "/tmp/razurozavi-demo-XXXXXX";
        if (mkdtemp(folder) == nullptr) {
            *why = "no temporary folder";
            return false;
        }
        folder_ = folder;
        SimulatedCardOptions options;
        options.baud_pace = true;
        options.registration_dir = folder_;
        card_ = std::make_unique<SimulatedCard>(options);
        if (!card_->Start(why)) {
            return false;
        }
        SetDeviceMapRoots(SYSTEM_TTY_CLASS, folder_);
        return true;
    }
    ~DemonstrationCard() {
        if (card_) {
            card_->Stop();
        }
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
        }
    }

  private:
    std::string folder_;
    std::unique_ptr<SimulatedCard> card_;
};

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
    "usage: razurozavi [--demo] [FILE]\n"
    "       razurozavi --help | --version\n"
    "FILE: a data file (*.mvta) or a configuration file (*.mcfg) to open.\n"
    "--demo: plug in a simulated card.\n";

struct ProgramArguments {
    bool demo = false;
    std::string file;
};

// Parsed before Qt starts, so that --help and --version need no display. Returns the exit
// status when the program ends here.
std::optional<int> ParseArguments(int argc, char** argv, ProgramArguments& parsed) {
    enum Option { kDemo = 1, kHelp, kVersion };
    const option table[] = {{"demo", no_argument, nullptr, kDemo},
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
                parsed.demo = true;
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
    DemonstrationCard demonstration;
    if (parsed.demo) {
        std::string why;
        if (!demonstration.Plug(&why)) {
            std::fprintf(stderr, "razurozavi: the simulated card could not be plugged in (%s)\n",
                         why.c_str());
            return 1;
        }
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
