// razurozavi-cli simulate, as scripts and the desktop program's demonstration start it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "link/serial.h"
#include "logger/memory_image.h"
#include "simcard/card_line.h"

namespace {

struct Simulator {
    pid_t pid = -1;
    int out = -1;  // its standard output
};

Simulator Spawn(const std::vector<std::string>& args, const std::string& registrations) {
    std::vector<std::string> words = {RAZUROZAVI_CLI, "simulate"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::string variable = std::string(SIMULATED_PORTS_ENV) + "=" + registrations;
    char* envp[] = {variable.data(), nullptr};
    int pipe_fds[2];
    EXPECT_EQ(pipe(pipe_fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    Simulator simulator;
    EXPECT_EQ(posix_spawn(&simulator.pid, argv[0], &actions, nullptr, argv.data(), envp), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    simulator.out = pipe_fds[0];
    return simulator;
}

// Its output lines until `lines` are read or two seconds pass.
std::vector<std::string> ReadLines(int fd, std::size_t lines) {
    std::string text;
    while (static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) < lines) {
        pollfd in{fd, POLLIN, 0};
        char buffer[256];
        if (poll(&in, 1, 2000) <= 0) {
            break;
        }
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        result.push_back(text.substr(start, end - start));
    }
    return result;
}

int ExitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(SimulateCommand, PrintsItsPortServesUntilTerminatedAndCleansUp) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("simulate-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);

    Simulator simulator = Spawn({"--firmware", "1.04", "--readings", "10"}, dir.string());
    const std::vector<std::string> lines = ReadLines(simulator.out, 2);
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(lines[0].rfind("port=/dev/pts/", 0), 0u) << lines[0];
    const std::string port = lines[0].substr(5);
    EXPECT_EQ(lines[1], "registered=" + (dir / "ttyACM0").string());
    EXPECT_EQ(std::filesystem::read_symlink(dir / "ttyACM0"), port);

    {
        CardLine line(port);
        const LinkMessage version = line.Exchange(RequestFrame("VR"));
        ASSERT_EQ(version.size(), std::size_t(FRAME_LENGTH));
        EXPECT_EQ(std::string(version.begin() + 3, version.begin() + 10), "1.04120");
        const LinkMessage first = line.Exchange(RequestFrame("RD", {0, 0, '2'}));
        ASSERT_EQ(first.size(), std::size_t(FRAME_LENGTH));
        EXPECT_EQ(BigEndian16(&first[RD_DATA_OFFSET]), 10);
    }

    kill(simulator.pid, SIGTERM);
    EXPECT_EQ(ExitStatus(simulator.pid), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "ttyACM0"));
    close(simulator.out);
    std::filesystem::remove_all(dir);
}

TEST(SimulateCommand, RefusesBadSettingsWithUsage) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--fault", "explode"},
                                               {"--firmware", "1.3"},
                                               {"--readings", "70000"},
                                               {"--interval", "0"},
                                               {"extra"}}) {
        Simulator simulator = Spawn(args, "/nonexistent");
        EXPECT_TRUE(ReadLines(simulator.out, 1).empty());
        EXPECT_EQ(ExitStatus(simulator.pid), 2) << args[0];
        close(simulator.out);
    }
    // A registration directory that cannot be written: the card is not started.
    Simulator simulator = Spawn({}, "/nonexistent");
    EXPECT_TRUE(ReadLines(simulator.out, 1).empty());
    EXPECT_EQ(ExitStatus(simulator.pid), 1);
    close(simulator.out);
}
