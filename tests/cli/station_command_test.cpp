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
#include "support/pdf_check.h"
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
        return out_ != nullptr && std::fgets(line, sizeof line, out_) != nullptr ? line : "";
    }
    // SIGTERM, then the exit status; SIGKILL after 5 s, as a hung station must not hang
    // the test.
    int Stop() {
        kill(pid_, SIGTERM);
        std::atomic<bool> stopped{false};
        std::thread watchdog([&] {
            for (int k = 0; k < 100 && !stopped; ++k) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (!stopped) {
                kill(pid_, SIGKILL);
            }
        });
        const int status = pclose(out_);
        stopped = true;
        watchdog.join();
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
    EXPECT_EQ(Occurrences(run.out, "\n"), 3) << run.out;
    EXPECT_TRUE(Has(run.out, "card port=" + first->PortPath() + " serial=1001 readings=300 file=" +
                                 Archived(1001) + " state=rearmed verdict=aprovado\n"));
    EXPECT_TRUE(Has(run.out, " serial=1002 readings=500 file=" + Archived(1002) +
                                 " state=rearmed verdict=aprovado\n"));
    EXPECT_TRUE(Has(run.out, "card port=" + failing->PortPath() +
                                 " serial=1003 readings=0 file= state=failed reason=Leitura "
                                 "Cancelada\n"));

    EXPECT_EQ(first->RequestsSeen("AJ"), 1);
    EXPECT_EQ(failing->RequestsSeen("AJ"), 0);
    EXPECT_FALSE(std::filesystem::exists(archive + "/1003"));

    // The recording as it was before the card started anew.
    const std::size_t read_part = 2 * (HEADER_SIZE + 2 * 300);
    EXPECT_EQ(ReadFileBytes(Archived(1001)).substr(0, read_part),
              DataFileText(recorded).substr(0, read_part));

    // Each card's read, archive, four reports and new configuration, chained.
    const std::string ledger = ReadFileBytes(archive + "/registro.jsonl");
    EXPECT_EQ(Occurrences(ledger, "\"action\":\"report\""), 8) << ledger;
    EXPECT_EQ(Occurrences(ledger, "\"action\":\"configure\""), 2) << ledger;
    EXPECT_NE(ledger.find("},\"after\":{\"sample_points\":1000,\"sample_rate\":300,"),
              std::string::npos);
    const CommandResult verified = RunCommand({RAZUROZAVI_CLI, "verify", archive});
    EXPECT_EQ(verified.exit_status, 0) << verified.out;
    EXPECT_TRUE(Has(verified.out, "ok " + archive + "/1002/20250602-080000-resumo.pdf\n"))
        << verified.out;
}

// Read once while it stays; pulled out mid-read, nothing archived; plugged back, read again.
// Started as the desktop program starts it, with its stop signals blocked, it still stops.
TEST_F(Station, ACardIsReadOnceAndAgainOnlyWhenPluggedBack) {
    auto card = Plug({.readings = 300}, 2001);  // 25 hours, all between the limits
    sigset_t stop_signals, before;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, &before);
    RunningStation station(StationCommand({}));
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    const std::string archived = "card port=" + card->PortPath() +
                                 " serial=2001 readings=300 file=" + Archived(2001) +
                                 " state=archived verdict=aprovado\n";
    EXPECT_EQ(station.NextLine(), archived);
    const int requests = card->RequestsSeen();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(card->RequestsSeen(), requests) << "read again while it stayed";
    card.reset();
    // Out long enough for the station to see it gone.
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
    // Whole this time, with the warm hour of its third day: the card's own limits fail it.
    const std::string again = station.NextLine();
    EXPECT_NE(again.find(" serial=2002 readings=12000 file=" + Archived(2002) +
                         " state=archived verdict=reprovado\n"),
              std::string::npos)
        << again;
    EXPECT_EQ(ArchivedFiles(archive).size(), 2u);
    EXPECT_EQ(station.Stop(), 0);
}

// Rising progress, then the card's line; a failed upload waits in the outbox, if it can.
TEST_F(Station, ProgressRisesToTheWholeAndAFailedUploadWaitsInTheOutbox) {
    auto card = Plug({.readings = 2000}, 4001);
    std::vector<std::string> argv = StationCommand(
        {"--progress", "--upload", "--host", "127.0.0.1", "--tcp-port", "1", "--cards", "1"});
    argv.insert(argv.begin() + 1, "XDG_DATA_HOME=" + dir.File("dados"));
    const CommandResult run = RunCommand(argv);
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
                        Archived(4001) + " state=archived upload=queued verdict=reprovado");
    EXPECT_FALSE(std::getline(out, line));
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
