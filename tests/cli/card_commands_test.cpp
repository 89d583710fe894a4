// The companion's card commands against simulated cards, one started by `simulate`.

#include <signal.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "link/serial.h"
#include "simcard/simulated_card.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

TEST(CardCommands, InfoReadSimulateAndRefusal) {
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
    run = cli("read card.mvta --port " + card.PortPath());
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("readings=2016\n"), std::string::npos) << run.output;
    EXPECT_EQ(std::filesystem::file_size(dir.File("card.mvta")), 131072u);

    // The shell's pid becomes the simulator's, and pclose gives the simulator's exit status.
    std::FILE* out =
        popen(("echo $$; exec " + simulate(dir.path(), "--firmware 1.04")).c_str(), "r");
    char pid[16], port[64], registered[512];
    ASSERT_EQ(std::fscanf(out, "%15s port=%63s registered=%511s", pid, port, registered), 3);
    EXPECT_EQ(registered, dir.File("ttyACM0"));
    run = cli(std::string("info --port ") + registered);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output,
              "firmware=1.04\nhardware=120\nAtenção !: Não é possível utilizar este "
              "software: Versão de firmware, do Keltrix, incompativel !\n");
    kill(std::stoi(pid), SIGTERM);
    EXPECT_EQ(pclose(out), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(registered));

    EXPECT_EQ(cli("info --port " + dir.File("no-such-port")).status, 1);
    EXPECT_EQ(cli("read notdata.txt --port /dev/null").status, 2);
    // Bad settings: usage (2); a registration directory that cannot be written: no card (1).
    const std::pair<const char*, int> refused[] = {
        {"--fault explode", 2}, {"--firmware 1.3", 2}, {"--readings 70000", 2}, {"", 1}};
    for (const auto& [args, status] : refused) {
        EXPECT_EQ(RunShell(simulate("/nonexistent", args)).status, status) << args;
    }
}
