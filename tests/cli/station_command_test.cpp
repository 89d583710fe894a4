// The reading station against simulated cards found by discovery, several at once.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

#include "files/archive.h"
#include "files/file.h"
#include "link/serial.h"
#include "simcard/simulated_card.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

constexpr const char* kRecordingFile = "20250602-080000.mvta";

class Station : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(ports);
        ASSERT_EQ(RunCommand({RAZUROZAVI_CLI, "save-config", "c.mcfg", "sample_points=1000",
                              "sample_rate=300"})
                      .exit_status,
                  0);
    }

    std::unique_ptr<SimulatedCard> Plug(SimulatedCardOptions options, long serial) {
        options.registration_dir = ports;
        auto card = std::make_unique<SimulatedCard>(options);
        std::string why;
        EXPECT_TRUE(card->Start(&why)) << why;
        MemoryImage memory = card->Memory();
        memory[OFF_SERIAL] = static_cast<std::uint8_t>(serial >> 16);
        memory[OFF_SERIAL + 1] = static_cast<std::uint8_t>(serial >> 8);
        memory[OFF_SERIAL + 2] = static_cast<std::uint8_t>(serial);
        card->SetMemory(memory);
        return card;
    }

    std::vector<std::string> StationCommand(const std::vector<std::string>& args) const {
        std::vector<std::string> argv = {
            "/usr/bin/env", std::string(SIMULATED_PORTS_ENV) + "=" + ports,
            RAZUROZAVI_CLI, "station",
            "--archive",    archive};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }

    std::string Archived(long serial) const {
        return archive + "/" + std::to_string(serial) + "/" + kRecordingFile;
    }

    TempWorkingDir dir;
    const std::string ports = dir.File("portas");
    const std::string archive = dir.File("arquivo");
};

std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The station in the background: its lines as they come, and its end.
class RunningStation {
  public:
    explicit RunningStation(const std::vector<std::string>& argv) {
        std::string command = "echo $$; exec";
        for (const std::string& word : argv) {
            command += " " + ShellQuote(word);
        }
        out_ = popen((command + " 2>/dev/null").c_str(), "r");
        char pid[16] = {};
        if (out_ == nullptr || std::fscanf(out_, "%15s\n", pid) != 1) {
            ADD_FAILURE() << "the station did not start";
            return;
        }
        pid_ = std::stoi(pid);
    }
    ~RunningStation() {
        if (out_ != nullptr) {
            Stop();
        }
    }
    std::string NextLine() {
        char line[1024];
        if (out_ == nullptr || std::fgets(line, sizeof line, out_) == nullptr) {
            return "";
        }
        return line;
    }
    // Ends it at once, as a hung station must not hang the test.
    void Kill() { kill(pid_, SIGKILL); }
    // SIGTERM, then the exit status.
    int Stop() {
        kill(pid_, SIGTERM);
        const int status = pclose(out_);
        out_ = nullptr;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    std::FILE* out_ = nullptr;
    int pid_ = 0;
};

}  // namespace

TEST_F(Station, ThreeCardsAtOnceTheFailedOneReportedAndNeverRearmed) {
    auto first = Plug({.readings = 300}, 1001);
    auto second = Plug({.readings = 500}, 1002);
    // Silent from its first memory read on: version, configuration, then nothing.
    auto failing =
        Plug({.readings = 300,
              .faults = {CardFault{.kind = CardFaultKind::StopAnswering, .first_request = 3}}},
             1003);
    const MemoryImage recorded = first->Memory();

    const CommandResult run =
        RunCommand(StationCommand({"--profile", "c.mcfg", "--cards", "3", "--reports"}));
    EXPECT_EQ(run.exit_status, 1) << run.err;
    const std::vector<std::string> lines = SortedLines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0], "card port=" + first->PortPath() + " serial=1001 readings=300 file=" +
                            Archived(1001) + " state=rearmed verdict=aprovado");
    EXPECT_EQ(lines[1], "card port=" + second->PortPath() + " serial=1002 readings=500 file=" +
                            Archived(1002) + " state=rearmed verdict=aprovado");
    EXPECT_EQ(lines[2], "card port=" + failing->PortPath() +
                            " serial=1003 readings=0 file= state=failed reason=Leitura Cancelada");

    EXPECT_EQ(first->RequestsSeen("AJ"), 1);
    EXPECT_EQ(second->RequestsSeen("AJ"), 1);
    EXPECT_EQ(failing->RequestsSeen("AJ"), 0);
    EXPECT_EQ(ImageReadingCount(failing->Memory()), 300);
    EXPECT_FALSE(std::filesystem::exists(archive + "/1003"));

    // The recording as it was before the card started anew, and its reports beside it.
    const std::string kept = ReadFileBytes(Archived(1001));
    const std::size_t read_part = 2 * (HEADER_SIZE + 2 * 300);
    EXPECT_EQ(kept.substr(0, read_part), DataFileText(recorded).substr(0, read_part));
    for (const char* ending : {"-tabela.pdf", "-grafico.pdf", ".xls", "-resumo.pdf"}) {
        EXPECT_TRUE(
            std::filesystem::exists(archive + "/1001/20250602-080000" + std::string(ending)))
            << ending;
    }

    // Each card's read, archive, reports and new configuration in the ledger, whole.
    const std::string ledger = ReadFileBytes(archive + "/registro.jsonl");
    for (const auto& [action, count] : {std::pair{"read", 2}, std::pair{"archive", 2},
                                        std::pair{"report", 8}, std::pair{"configure", 2}}) {
        int found = 0;
        for (std::size_t at = 0; (at = ledger.find("\"action\":\"" + std::string(action) + "\"",
                                                   at)) != std::string::npos;
             ++at) {
            ++found;
        }
        EXPECT_EQ(found, count) << action << " in\n" << ledger;
    }
    EXPECT_NE(ledger.find("\"serial\":1001,\"file\":\"1001/20250602-080000-grafico.pdf\""),
              std::string::npos);
    EXPECT_NE(ledger.find("\"details\":{\"before\":{\"sample_points\":"), std::string::npos);
    EXPECT_NE(ledger.find("},\"after\":{\"sample_points\":1000,\"sample_rate\":300,"),
              std::string::npos);
    const CommandResult verified = RunCommand({RAZUROZAVI_CLI, "verify", archive});
    EXPECT_EQ(verified.exit_status, 0) << verified.out;
    EXPECT_NE(verified.out.find("ok " + archive + "/1002/20250602-080000-tabela.pdf\n"),
              std::string::npos)
        << verified.out;
}

// A card is read once while it stays; pulled out mid-read it leaves nothing half-archived,
// and plugged in again it is read again.
TEST_F(Station, ACardIsReadOnceAndAgainOnlyWhenPluggedBack) {
    // 25 hours, all between the limits: the excursions come later in the default recording.
    auto card = Plug({.readings = 300}, 2001);
    RunningStation station(StationCommand({}));
    const std::string archived = "card port=" + card->PortPath() +
                                 " serial=2001 readings=300 file=" + Archived(2001) +
                                 " state=archived verdict=aprovado\n";
    EXPECT_EQ(station.NextLine(), archived);
    const int requests = card->RequestsSeen();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(card->RequestsSeen(), requests) << "read again while it stayed";
    card.reset();
    // Out long enough for the station to see it gone, as no hand swaps cards faster.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // A long paced read, pulled out before it ends.
    card = Plug({.readings = 12000, .baud_pace = true}, 2002);
    ASSERT_TRUE(card != nullptr);
    ASSERT_TRUE([&] {
        for (int k = 0; k < 200 && card->RequestsSeen("RD") < 20; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return card->RequestsSeen("RD") >= 20;
    }());
    card.reset();
    const std::string pulled = station.NextLine();
    EXPECT_NE(pulled.find(" state=failed reason="), std::string::npos) << pulled;
    EXPECT_FALSE(std::filesystem::exists(archive + "/2002/" + kRecordingFile));

    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    card = Plug({.readings = 12000}, 2002);
    // The whole recording this time, the hour-long warm excursion of its third day in it:
    // an alarm episode, so the card's own limits fail it.
    const std::string again = station.NextLine();
    EXPECT_NE(again.find(" serial=2002 readings=12000 file=" + Archived(2002) +
                         " state=archived verdict=reprovado\n"),
              std::string::npos)
        << again;
    EXPECT_EQ(ArchivedFiles(archive).size(), 2u);
    EXPECT_EQ(station.Stop(), 0);
}

// The desktop program blocks its quit signals for a thread of its own, and a child it starts
// inherits that mask: the station must still stop when told.
TEST_F(Station, StopsWhenToldThoughStartedWithItsStopSignalsBlocked) {
    auto card = Plug({.readings = 300}, 2003);
    sigset_t stop_signals, before;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, &before);
    RunningStation station(StationCommand({}));
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    EXPECT_NE(station.NextLine().find(" serial=2003 "), std::string::npos);
    std::atomic<bool> stopped{false};
    std::thread watchdog([&] {
        for (int k = 0; k < 100 && !stopped; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!stopped) {
            station.Kill();
        }
    });
    EXPECT_EQ(station.Stop(), 0);
    stopped = true;
    watchdog.join();
}

// A failed upload does not fail the card: it waits in the outbox, and the line says so.
TEST_F(Station, AnUploadThatFailsWaitsInTheOutbox) {
    auto card = Plug({.readings = 200}, 3001);
    std::vector<std::string> argv =
        StationCommand({"--upload", "--host", "127.0.0.1", "--tcp-port", "1", "--cards", "1"});
    argv.insert(argv.begin() + 1, "XDG_DATA_HOME=" + dir.File("dados"));
    const CommandResult run = RunCommand(argv);
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_EQ(run.out, "card port=" + card->PortPath() + " serial=3001 readings=200 file=" +
                           Archived(3001) + " state=archived upload=queued verdict=aprovado\n");
    EXPECT_EQ(ArchivedFiles(dir.File("dados/razurozavi/saida")).size(), 1u);

    // An outbox that cannot be written: the line must not say the readings wait there.
    card.reset();
    auto second = Plug({.readings = 100}, 3002);
    WriteFileBytes(dir.File("bloqueado"), "");
    argv[1] = "XDG_DATA_HOME=" + dir.File("bloqueado");
    const CommandResult blocked = RunCommand(argv);
    EXPECT_EQ(blocked.exit_status, 1) << blocked.err;
    EXPECT_NE(blocked.out.find("serial=3002 readings=100 file=" + Archived(3002) +
                               " state=failed reason="),
              std::string::npos)
        << blocked.out;
}

// Asked for, the read's progress comes before the card's line, each percentage once.
TEST_F(Station, ProgressLinesRiseToTheWholeBeforeTheCardsLine) {
    auto card = Plug({.readings = 2000}, 4001);
    const CommandResult run = RunCommand(StationCommand({"--progress", "--cards", "1"}));
    EXPECT_EQ(run.exit_status, 0) << run.err;
    std::istringstream out(run.out);
    const std::string prefix = "reading port=" + card->PortPath() + " serial=4001 percent=";
    int last_percent = -1;
    std::string line;
    while (std::getline(out, line) && line.rfind(prefix, 0) == 0) {
        const int percent = std::stoi(line.substr(prefix.size()));
        EXPECT_GT(percent, last_percent) << line;
        last_percent = percent;
    }
    EXPECT_EQ(last_percent, 100);
    EXPECT_EQ(line, "card port=" + card->PortPath() + " serial=4001 readings=2000 file=" +
                        Archived(4001) + " state=archived verdict=reprovado");
    EXPECT_FALSE(std::getline(out, line));
}
