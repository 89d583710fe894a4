// The companion's card commands against simulated cards, one started by `simulate`.

#include <signal.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "files/file.h"
#include "link/serial.h"
#include "logger/memory_image.h"
#include "simcard/simulated_card.h"
#include "support/pdf_check.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

TEST(CardCommands, InfoSimulateAndRefusal) {
    const auto simulate = [](const std::string& registrations, const std::string& args) {
        return "/usr/bin/env " + std::string(SIMULATED_PORTS_ENV) + "=" + registrations + " " +
               RAZUROZAVI_CLI + " simulate " + args + " 2>/dev/null";
    };
    TempWorkingDir dir;
    // The shell's pid becomes the simulator's, and pclose gives the simulator's exit status.
    std::FILE* out =
        popen(("echo $$; exec " + simulate(dir.path(), "--firmware 1.04")).c_str(), "r");
    char pid[16], port[64], registered[512];
    ASSERT_EQ(std::fscanf(out, "%15s port=%63s registered=%511s", pid, port, registered), 3);
    EXPECT_EQ(RunShell(simulate(dir.path(), "--name ttyACM0")).status, 1);  // the name is taken
    // Refused, the process ends from its timer thread: its --port registration goes too.
    std::filesystem::create_directory(dir.File("tmp"));
    const ShellResult run =
        RunShell("TMPDIR=" + dir.File("tmp") + " " + RAZUROZAVI_CLI + " info --port " + registered);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output,
              "firmware=1.04\nhardware=120\nAtenção !: Não é possível utilizar este "
              "software: Versão de firmware, do Keltrix, incompativel !\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("tmp")));
    kill(std::stoi(pid), SIGTERM);
    EXPECT_EQ(pclose(out), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(registered));

    // Bad settings: usage (2); a registration directory that cannot be written: no card (1).
    const std::pair<const char*, int> refused[] = {
        {"--fault explode", 2}, {"--name ttyACM1/x", 2}, {"", 1}};
    for (const auto& [args, status] : refused) {
        EXPECT_EQ(RunShell(simulate("/nonexistent", args)).status, status) << args;
    }
}

// A pipe gets the result lines and the outcome, never the progress bar.
TEST(CardCommands, ReadWritesNoProgressIntoAPipe) {
    TempWorkingDir dir;
    SimulatedCard card;
    std::string why;
    ASSERT_TRUE(card.Start(&why)) << why;
    const CommandResult piped =
        RunCommand({RAZUROZAVI_CLI, "read", "piped.mvta", "--port", card.PortPath()});
    EXPECT_EQ(piped.exit_status, 0) << piped.err;
    EXPECT_EQ(piped.out, "readings=2016\n");
    EXPECT_EQ(piped.err, "Leitura: Leitura Bem Sucedida\n");
}

// --archive keeps the recording first; a card whose read fails is not written to. `--now`
// is local time, kept in the log; the card's clock gets the same moment in UTC.
TEST(CardCommands, WriteConfigWithArchiveKeepsTheRecordingFirst) {
    TempWorkingDir dir;
    ASSERT_EQ(RunCommand({RAZUROZAVI_CLI, "save-config", "c.mcfg", "sample_points=1000",
                          "sample_rate=300"})
                  .exit_status,
              0);
    const auto write = [](const SimulatedCard& card, const std::string& archive) {
        return RunCommand({"/usr/bin/env", "TZ=America/Sao_Paulo", RAZUROZAVI_CLI, "write-config",
                           "c.mcfg", "--port", card.PortPath(), "--archive", archive, "--now",
                           "2026-03-01 08:00:00"});
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
        // 08:00 in Brasília (no daylight saving since 2019) is 11:00 UTC.
        EXPECT_EQ(ImageStartTime(card.Memory()), (CALENDAR{0, 0, 11, 1, 3, 2026}));
        EXPECT_EQ(ReadFileBytes("log_configurados.txt").rfind("03/01/26, 08:00:00 ,", 0), 0u);
        const std::size_t read_part = 2 * (HEADER_SIZE + 2 * 300);
        EXPECT_EQ(ReadFileBytes(kept).substr(0, read_part),
                  DataFileText(recorded).substr(0, read_part));
    }
    {
        SimulatedCard empty({.readings = 0});
        ASSERT_TRUE(empty.Start(&why)) << why;
        const CommandResult run = write(empty, "arquivo");
        EXPECT_EQ(run.exit_status, 0) << run.err;
        EXPECT_EQ(run.out, "archived=none\nserial=1234\n");
        // The read, the archive and both configuration writes, chained.
        const std::string ledger = ReadFileBytes(dir.File("arquivo/registro.jsonl"));
        EXPECT_EQ(Occurrences(ledger, "\"action\":\"configure\""), 2) << ledger;
        EXPECT_NE(ledger.find("\"after\":{\"sample_points\":1000,"), std::string::npos);
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
        EXPECT_EQ(run.err, "Erro: Leitura Cancelada\n");
        EXPECT_EQ(failing.RequestsSeen("AJ"), 0);
        EXPECT_EQ(ImageReadingCount(failing.Memory()), 300);
        EXPECT_FALSE(std::filesystem::exists(dir.File("outro/1234")));
    }
}
