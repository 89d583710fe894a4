// razurozavi: the desktop program. With --demo a simulated card is plugged in, registered in
// a private folder that is removed at exit; without it a real card is looked for, and the
// simulated ones registered where RAZUROZAVI_SIMULATED_PORTS says, as the companion does.

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

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

}  // namespace

int main(int argc, char** argv) {
    StopSignals stop_signals;
    ProgramApplication app(argc, argv);
    LoadTranslations(app);
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] != QLatin1String("--demo")) {
            std::fprintf(stderr, "usage: razurozavi [--demo]\n");
            return 2;
        }
    }
    DemonstrationCard demonstration;
    if (arguments.contains(QLatin1String("--demo"))) {
        std::string why;
        if (!demonstration.Plug(&why)) {
            std::fprintf(stderr, "razurozavi: the simulated card could not be plugged in (%s)\n",
                         why.c_str());
            return 1;
        }
    }
    DesktopProgram program(app);
    program.Start();
    stop_signals.Watch(program.Layer());
    const int exit_code = app.exec();
    stop_signals.Stop();
    program.Stop();
    return exit_code;
}
