// A full memory read as a technician sees it: `razurozavi-cli read` against a simulated card
// that runs in a process of its own, paced at 115200 baud. Per run it prints the reader's
// wall time (process start to exit), the card's own time (the wire time of everything it took
// and sent, plus its work and lateness in answering), their ratio, and the reader's CPU time
// over its wall time; then the median and the spread of each.
//
//   razurozavi-read-card [RUNS] [--cli PATH]     (5 runs by default)

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The largest recording: the whole memory, 1311 exchanges.
constexpr const char* kReadings = "32640";

struct Run {
    double wall_s = 0;
    double card_s = 0;
    double wire_s = 0;
    double cpu_share = 0;
};

struct Spawned {
    pid_t pid = -1;
    int out = -1;  // its standard output, when asked for
};

Spawned Spawn(const std::vector<std::string>& argv, bool capture_stdout) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipe_fds[2] = {-1, -1};
    if (capture_stdout) {
        if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
            std::perror("pipe");
            std::exit(1);
        }
        posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    Spawned spawned;
    if (posix_spawn(&spawned.pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        std::perror(args[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (capture_stdout) {
        close(pipe_fds[1]);
        spawned.out = pipe_fds[0];
    }
    return spawned;
}

// Reads `fd` up to the first line feed (or to its end with `to_end`).
std::string ReadFrom(int fd, bool to_end) {
    std::string text;
    char c;
    while (read(fd, &c, 1) == 1) {
        text += c;
        if (!to_end && c == '\n') {
            break;
        }
    }
    return text;
}

std::map<std::string, std::string> KeyValues(const std::string& text) {
    std::map<std::string, std::string> values;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            values[line.substr(0, equals)] = line.substr(equals + 1);
        }
        start = end + 1;
    }
    return values;
}

Run ReadOnce(const std::string& cli, const std::string& out_file) {
    Spawned card = Spawn({cli, "simulate", "--baud-pace", "--readings", kReadings}, true);
    const std::string port_line = ReadFrom(card.out, false);
    if (port_line.rfind("port=", 0) != 0) {
        std::fprintf(stderr, "the simulated card did not start: %s\n", port_line.c_str());
        std::exit(1);
    }
    const std::string port = port_line.substr(5, port_line.size() - 6);

    const Clock::time_point start = Clock::now();
    const Spawned reader = Spawn({cli, "read", out_file, "--port", port}, false);
    int status = 0;
    rusage usage{};
    wait4(reader.pid, &status, 0, &usage);
    const double wall_s = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the read failed (status %d)\n", status);
        std::exit(1);
    }

    kill(card.pid, SIGTERM);
    const std::map<std::string, std::string> report = KeyValues(ReadFrom(card.out, true));
    close(card.out);
    waitpid(card.pid, &status, 0);
    if (report.count("card_busy_s") == 0 || report.count("card_wire_s") == 0) {
        std::fprintf(stderr, "the simulated card reported no time\n");
        std::exit(1);
    }
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    Run run;
    run.wall_s = wall_s;
    run.card_s = std::atof(report.at("card_busy_s").c_str());
    run.wire_s = std::atof(report.at("card_wire_s").c_str());
    run.cpu_share = (seconds(usage.ru_utime) + seconds(usage.ru_stime)) / wall_s;
    return run;
}

struct Spread {
    double median, low, high;
};

Spread Summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string cli = RAZUROZAVI_CLI;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--cli") == 0 && k + 1 < argc) {
            cli = argv[++k];
        } else {
            runs = std::max(1, std::atoi(argv[k]));
        }
    }
    char dir_pattern[] = "/tmp/razurozavi-read-card-XXXXXX";
    if (mkdtemp(dir_pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string out_file = std::string(dir_pattern) + "/card.mvta";

    std::printf("run  reader wall s  card s   wire s   wall/card  reader CPU/wall\n");
    std::vector<double> walls, cards, ratios, cpus;
    for (int i = 0; i < runs; ++i) {
        const Run run = ReadOnce(cli, out_file);
        std::printf("%3d  %12.3f  %7.3f  %7.3f  %9.4f  %14.3f %%\n", i + 1, run.wall_s, run.card_s,
                    run.wire_s, run.wall_s / run.card_s, 100 * run.cpu_share);
        std::fflush(stdout);
        walls.push_back(run.wall_s);
        cards.push_back(run.card_s);
        ratios.push_back(run.wall_s / run.card_s);
        cpus.push_back(100 * run.cpu_share);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_pattern, ignored);

    const auto line = [](const char* what, const Spread& s, const char* format) {
        std::printf("%-22s median ", what);
        std::printf(format, s.median);
        std::printf("  (");
        std::printf(format, s.low);
        std::printf(" .. ");
        std::printf(format, s.high);
        std::printf(")\n");
    };
    std::printf("median of %d runs:\n", runs);
    line("reader wall s", Summarise(walls), "%.3f");
    line("card s", Summarise(cards), "%.3f");
    line("wall / card", Summarise(ratios), "%.4f");
    line("reader CPU / wall %", Summarise(cpus), "%.3f");
    return 0;
}
