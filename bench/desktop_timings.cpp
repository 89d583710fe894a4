// How long a technician waits for the desktop program: from the process start until the
// main window is painted, from choosing the largest data file in "Abrir" until its list is
// painted, and from "Gráfico" until the graph of that file is painted; and the program's
// peak memory with both open. Each time is the median of several runs, with the spread.
//
//   razurozavi-desktop-timings [RUNS]     (QT_QPA_PLATFORM=offscreen without a display)

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QEvent>
#include <QFileDialog>
#include <QListView>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "files/file.h"
#include "link/serial.h"
#include "simcard/refrigerator_recording.h"
#include "ui/data_window.h"
#include "ui/graph_window.h"
#include "ui/main_window.h"
#include "ui/program_application.h"
#include "ui/qt_window_layer.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long long Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Quits the event loop once `watched` has painted.
class PaintWatch final : public QObject {
  public:
    explicit PaintWatch(QObject* watched) { watched->installEventFilter(this); }
    bool painted = false;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        }
        return false;
    }
};

// The child run: start-up until the main window's first paint, in milliseconds since the
// parent's clock reading just before exec.
int StartUpChild(int argc, char** argv, long long parent_start_ns) {
    ProgramApplication app(argc, argv);
    SetDeviceMapRoots("/nonexistent", "");
    DesktopProgram program(app);
    program.Start();
    PaintWatch watch(program.Main().centralWidget());
    app.exec();
    const double ms = static_cast<double>(Now() - parent_start_ns) / 1e6;
    program.Stop();
    std::printf("%.3f\n", ms);
    return 0;
}

double StartUpOnce(const char* self) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) {
        std::exit(1);
    }
    const std::string start = std::to_string(Now());
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        execl(self, self, "--start-up-child", start.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipe_fds[1]);
    char text[64] = {};
    const ssize_t got = read(pipe_fds[0], text, sizeof text - 1);
    close(pipe_fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return got > 0 ? std::atof(text) : -1;
}

// "Abrir" of a data file holding the largest image, from the dialog's answer until the
// data window's list has painted.
double OpenLargestOnce(QtWindowLayer& layer, const std::string& path, bool keep_open = false) {
    Clock::time_point chosen;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            answer.stop();
            dialog->selectFile(QString::fromStdString(path));
            chosen = Clock::now();
            static_cast<QDialog*>(dialog)->accept();
        }
    });
    answer.start(1);
    qobject_cast<QAbstractButton*>(layer.Main()->Control(BT_OPEN))->click();
    DataWindow* window = layer.CurrentDataWindow();
    if (window == nullptr) {
        return -1;
    }
    PaintWatch watch(window->List()->viewport());
    QCoreApplication::exec();
    const double ms = MillisecondsSince(chosen);
    const int lines = window->List()->model()->rowCount();
    if (!keep_open) {
        window->close();
    }
    return lines == MAX_IMAGE_READINGS ? ms : -1;
}

// "Gráfico" of the largest image until the graph window has painted; the window stays open
// when `keep_open`, for the memory figure.
double GraphOnce(QtWindowLayer& layer, const MemoryImage& image, bool keep_open) {
    const Clock::time_point pressed = Clock::now();
    GraphWindow& graph = layer.OpenGraphWindow(image);
    PaintWatch watch(&graph);
    QCoreApplication::exec();
    const double ms = MillisecondsSince(pressed);
    if (!keep_open) {
        graph.close();
    }
    return graph.Series().graph_points == MAX_IMAGE_READINGS ? ms : -1;
}

double PeakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Report(const char* what, std::vector<double> runs) {
    std::sort(runs.begin(), runs.end());
    std::printf("%-44s median %8.2f ms   min %8.2f   max %8.2f   (%zu runs)\n", what,
                runs[runs.size() / 2], runs.front(), runs.back(), runs.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--start-up-child") {
        return StartUpChild(argc, argv, std::atoll(argv[2]));
    }
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 7;

    std::vector<double> start_up;
    for (int i = 0; i < runs; ++i) {
        start_up.push_back(StartUpOnce(argv[0]));
    }

    ProgramApplication app(argc, argv);
    SetDeviceMapRoots("/nonexistent", "");
    char folder[] = "/tmp/razurozavi-timings-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    const std::string path = std::string(folder) + "/largest.mvta";
    if (!WeatherStationExport(path, BuildDefaultRecording(MAX_IMAGE_READINGS, 60))) {
        return 1;
    }
    std::vector<double> open_largest;
    std::vector<double> graph;
    double peak_mb = 0;
    {
        DesktopProgram program(app);
        program.Start();
        for (int i = 0; i < runs; ++i) {
            open_largest.push_back(OpenLargestOnce(program.Layer(), path));
        }
        const MemoryImage largest = BuildDefaultRecording(MAX_IMAGE_READINGS, 60);
        for (int i = 0; i < runs; ++i) {
            graph.push_back(GraphOnce(program.Layer(), largest, false));
        }
        // The largest file's data window and its graph, both open.
        OpenLargestOnce(program.Layer(), path, true);
        GraphOnce(program.Layer(), largest, true);
        peak_mb = PeakResidentMegabytes();
        program.Stop();
    }
    std::filesystem::remove_all(folder);

    Report("process start to main window painted", start_up);
    Report("largest data file chosen to list painted", open_largest);
    Report("Grafico of the largest image to graph painted", graph);
    std::printf("%-44s %8.1f MB (peak resident, largest image and its graph open)\n", "peak memory",
                peak_mb);
    const bool failed =
        std::find(start_up.begin(), start_up.end(), -1) != start_up.end() ||
        std::find(open_largest.begin(), open_largest.end(), -1) != open_largest.end();
    return failed ? 1 : 0;
}
