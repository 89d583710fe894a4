// The companion's card commands against simulated cards, one started by `simulate`.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "files/file.h"
#include "link/serial.h"
#include "logger/memory_image.h"
#include "simcard/pseudo_terminal.h"
#include "simcard/simulated_card.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

TEST(CardCommands, InfoSimulateAndRefusal) {
    const auto cli = [](const std::string& arguments) {
        return RunShell(std::string(RAZUROZAVI_CLI) + " " + arguments);
    };
    const auto simulate = [](const std::string& registrations, const std::string& args) {
        return "/usr/bin/env " + std::string(SIMULATED_PORTS_ENV) + "=" + registrations + " " +
               RAZUROZAVI_CLI + " simulate " + args + " 2>/dev/null";
    };
    TempWorkingDir dir;
    SimulatedCard card;
    std::string why;
    ASSERT_TRUE(card.Start(&why)) << why;
    ShellResult run = cli("info --port " + card.PortPath());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "firmware=1.03\nhardware=120\n");

    // The shell's pid becomes the simulator's, and pclose gives the simulator's exit status.
    std::FILE* out =
        popen(("echo $$; exec " + simulate(dir.path(), "--firmware 1.04")).c_str(), "r");
    char pid[16], port[64], registered[512];
    ASSERT_EQ(std::fscanf(out, "%15s port=%63s registered=%511s", pid, port, registered), 3);
    EXPECT_EQ(registered, dir.File("ttyACM0"));
    EXPECT_EQ(RunShell(simulate(dir.path(), "--name ttyACM0")).status, 1);  // the name is taken
    // Refused, the process ends from its timer thread: its --port registration goes too.
    std::filesystem::create_directory(dir.File("tmp"));
    run =
        RunShell("TMPDIR=" + dir.File("tmp") + " " + RAZUROZAVI_CLI + " info --port " + registered);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output,
              "firmware=1.04\nhardware=120\nAtenção !: Não é possível utilizar este "
              "software: Versão de firmware, do Keltrix, incompativel !\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("tmp")));
    kill(std::stoi(pid), SIGTERM);
    EXPECT_EQ(pclose(out), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(registered));

    EXPECT_EQ(cli("info --port " + dir.File("no-such-port")).status, 1);
    EXPECT_EQ(cli("read notdata.txt --port /dev/null").status, 2);
    // Bad settings: usage (2); a registration directory that cannot be written: no card (1).
    const std::pair<const char*, int> refused[] = {
        {"--fault explode", 2},  {"--firmware 1.3", 2},
        {"--readings 70000", 2}, {"--name ttyUSB0", 2},
        {"--name ttyACM", 2},    {"--name ttyACM1000", 2},
        {"--name ttyACM1/x", 2}, {"", 1}};
    for (const auto& [args, status] : refused) {
        EXPECT_EQ(RunShell(simulate("/nonexistent", args)).status, status) << args;
    }
}

namespace {

// Runs `read` with standard error on a pseudo-terminal; what the terminal showed.
std::string ReadOnATerminal(const std::string& port, ShellResult& run) {
    std::string why;
    std::optional<PseudoTerminal> terminal = OpenPseudoTerminal(&why);
    if (!terminal) {
        ADD_FAILURE() << why;
        return {};
    }
    // Held open here as well, so that what the companion wrote outlives it.
    const int held = open(terminal->slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(held, 0) << terminal->slave_path;
    std::atomic<bool> finished{false};
    std::thread companion([&] {
        run = RunShell("(" + ShellQuote(RAZUROZAVI_CLI) + " read terminal.mvta --port " + port +
                       " 2>" + terminal->slave_path + ")");
        finished = true;
    });
    // Drained as it comes: a full terminal buffer would stall the companion.
    std::string shown;
    const auto drain = [&] {
        char chunk[4096];
        ssize_t n = 0;
        while ((n = read(terminal->master_fd, chunk, sizeof chunk)) > 0) {
            shown.append(chunk, static_cast<std::size_t>(n));
        }
    };
    while (!finished) {
        pollfd ready{terminal->master_fd, POLLIN, 0};
        poll(&ready, 1, 50);
        drain();
    }
    companion.join();
    drain();
    close(held);
    ClosePseudoTerminal(*terminal);
    return shown;
}

// The terminal's lines, each line of bars given as "bar" and its percentages added to `bars`
// after checking that every redraw starts at the line's beginning, is as wide as the last and
// shows a higher percentage: no redraw without a change.
std::vector<std::string> TerminalLines(const std::string& shown,
                                       std::vector<std::vector<int>>& bars) {
    std::vector<std::string> lines;
    for (std::size_t line = 0; line < shown.size();) {
        std::size_t line_end = shown.find('\n', line);
        if (line_end == std::string::npos) {
            ADD_FAILURE() << "the last line is not ended: " << shown;
            line_end = shown.size();
        }
        if (shown[line] != '\r') {
            lines.push_back(shown.substr(line, line_end - line));
            line = line_end + 1;
            continue;
        }
        lines.push_back("bar");
        std::vector<int>& percentages = bars.emplace_back();
        std::size_t width = 0;
        for (std::size_t start = line + 1; start <= line_end;) {
            const std::size_t end = std::min(shown.find('\r', start), line_end);
            const std::string frame = shown.substr(start, end - start);
            if (frame.size() < 5 || frame.back() != '%' || (width != 0 && frame.size() != width)) {
                ADD_FAILURE() << "a frame of " << frame.size() << " characters: " << frame;
                return lines;
            }
            width = frame.size();
            percentages.push_back(std::stoi(frame.substr(frame.rfind(' ') + 1)));
            start = end + 1;
        }
        EXPECT_EQ(
            std::adjacent_find(percentages.begin(), percentages.end(), std::greater_equal<int>()),
            percentages.end())
            << shown;
        line = line_end + 1;
    }
    return lines;
}

}  // namespace

// The bar is redrawn in place on a terminal, ends its line before any message, starts again
// when the read does, and never reaches a pipe.
TEST(CardCommands, ReadShowsItsProgressOnlyOnATerminal) {
    TempWorkingDir dir;
    const std::string done = "Leitura: Leitura Bem Sucedida";
    SimulatedCard card;
    std::string why;
    ASSERT_TRUE(card.Start(&why)) << why;
    const CommandResult piped =
        RunCommand({RAZUROZAVI_CLI, "read", "piped.mvta", "--port", card.PortPath()});
    EXPECT_EQ(piped.exit_status, 0) << piped.err;
    EXPECT_EQ(piped.out, "readings=2016\n");
    EXPECT_EQ(piped.err, done + "\n");

    // An error reply at the 80th request halfway through: the read starts over.
    SimulatedCard failing({.faults = {{.kind = CardFaultKind::AnswerError, .first_request = 80}}});
    ASSERT_TRUE(failing.Start(&why)) << why;
    const std::pair<SimulatedCard*, std::vector<std::string>> reads[] = {
        {&card, {"bar", done}}, {&failing, {"bar", "ERRO", "bar", done}}};
    for (const auto& [served, expected_lines] : reads) {
        ShellResult run;
        const std::string shown = ReadOnATerminal(served->PortPath(), run);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, "readings=2016\n");
        EXPECT_EQ(ReadFileBytes(dir.File("terminal.mvta")), ReadFileBytes(dir.File("piped.mvta")));
        std::vector<std::vector<int>> bars;
        ASSERT_EQ(TerminalLines(shown, bars), expected_lines) << shown;
        EXPECT_GT(bars.front().size(), 10u) << shown;
        EXPECT_EQ(bars.back().back(), 100) << shown;
    }
}

// `--now` is the PC's local time: the configuration log keeps it, and the card's clock is
// the same moment in UTC, whatever the PC's time zone.
TEST(CardCommands, WriteConfigSetsTheCardsClockToUtc) {
    TempWorkingDir dir;
    SimulatedCard card;
    std::string why;
    ASSERT_TRUE(card.Start(&why)) << why;
    ASSERT_EQ(RunCommand({RAZUROZAVI_CLI, "save-config", "c.mcfg", "sample_points=1000",
                          "sample_rate=300"})
                  .exit_status,
              0);
    // 2026-03-01 08:00:00 local: 11:00 UTC in Brasília (no daylight saving since 2019), the
    // evening before in Tokyo.
    const std::pair<const char*, CALENDAR> zones[] = {
        {"America/Sao_Paulo", CALENDAR{0, 0, 11, 1, 3, 2026}},
        {"Asia/Tokyo", CALENDAR{0, 0, 23, 28, 2, 2026}},
        {"UTC", CALENDAR{0, 0, 8, 1, 3, 2026}}};
    for (const auto& [zone, utc] : zones) {
        SCOPED_TRACE(zone);
        std::filesystem::remove(dir.File("log_configurados.txt"));
        const ShellResult run = RunShell("TZ=" + std::string(zone) + " " + RAZUROZAVI_CLI +
                                         " write-config c.mcfg --port " + card.PortPath() +
                                         " --now '2026-03-01 08:00:00'");
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(ImageStartTime(card.Memory()), utc);
        EXPECT_EQ(ReadFileBytes(dir.File("log_configurados.txt")).rfind("03/01/26, 08:00:00 ,", 0),
                  0u);
    }
}

// The card starts a new recording on a configuration write: --archive keeps the old one
// first, and a card whose read fails is not written to.
TEST(CardCommands, WriteConfigWithArchiveKeepsTheRecordingFirst) {
    TempWorkingDir dir;
    ASSERT_EQ(RunCommand({RAZUROZAVI_CLI, "save-config", "c.mcfg", "sample_points=1000",
                          "sample_rate=300"})
                  .exit_status,
              0);
    const auto write = [](const SimulatedCard& card, const std::string& archive) {
        return RunCommand({RAZUROZAVI_CLI, "write-config", "c.mcfg", "--port", card.PortPath(),
                           "--archive", archive});
    };
    std::string why;
    {
        SimulatedCard card({.readings = 300});
        ASSERT_TRUE(card.Start(&why)) << why;
        const MemoryImage recorded = card.Memory();
        const CommandResult run = write(card, "arquivo");
        ASSERT_EQ(run.exit_status, 0) << run.err;
        const std::string kept = dir.File("arquivo/1234/20250602-080000.mvta");
        EXPECT_EQ(run.out, "archived=" + kept + "\nserial=1234\n");
        EXPECT_NE(ImageStartTime(card.Memory()), ImageStartTime(recorded));
        const std::string text = ReadFileBytes(kept);
        const std::string expected = DataFileText(recorded);
        EXPECT_EQ(text.substr(0, 2 * (HEADER_SIZE + 2 * 300)),
                  expected.substr(0, 2 * (HEADER_SIZE + 2 * 300)));
    }
    {
        SimulatedCard empty({.readings = 0});
        ASSERT_TRUE(empty.Start(&why)) << why;
        const CommandResult run = write(empty, "arquivo");
        EXPECT_EQ(run.exit_status, 0) << run.err;
        EXPECT_EQ(run.out, "archived=none\nserial=1234\n");
        // The read, the archive and both configuration writes in its ledger, whole.
        const std::string ledger = ReadFileBytes(dir.File("arquivo/registro.jsonl"));
        std::size_t at = 0;
        for (const char* part :
             {"\"seq\":1,", "\"action\":\"read\",\"serial\":1234,\"details\":{\"readings\":300}",
              "\"seq\":2,",
              "\"action\":\"archive\",\"serial\":1234,\"file\":"
              "\"1234/20250602-080000.mvta\"",
              "\"seq\":3,", "\"action\":\"configure\"", "\"after\":{\"sample_points\":1000,",
              "\"seq\":4,", "\"action\":\"configure\""}) {
            at = ledger.find(part, at);
            ASSERT_NE(at, std::string::npos) << part << " in\n" << ledger;
        }
        const CommandResult verified = RunCommand({RAZUROZAVI_CLI, "verify", "arquivo"});
        EXPECT_EQ(verified.exit_status, 0) << verified.out;
        EXPECT_EQ(verified.out, "ok arquivo/1234/20250602-080000.mvta\n");
    }
    {
        // Silent from the first memory read on.
        SimulatedCard failing(
            {.readings = 300,
             .faults = {CardFault{.kind = CardFaultKind::StopAnswering, .first_request = 3}}});
        ASSERT_TRUE(failing.Start(&why)) << why;
        const CommandResult run = write(failing, "outro");
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "Erro: Leitura Cancelada\n");
        EXPECT_EQ(failing.RequestsSeen("AJ"), 0);
        EXPECT_EQ(ImageReadingCount(failing.Memory()), 300);
        EXPECT_FALSE(std::filesystem::exists(dir.File("outro/1234")));
    }
}
