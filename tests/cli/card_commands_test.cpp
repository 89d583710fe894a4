// The companion's card commands against a simulated card, as a script would run them.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "simcard/simulated_card.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

ShellResult Cli(const std::string& arguments) {
    return RunShell(std::string(RAZUROZAVI_CLI) + " " + arguments);
}

TEST(CardCommands, InfoReadAndRefusal) {
    TempWorkingDir dir;
    SimulatedCard card;
    SimulatedCardOptions newer;
    newer.firmware = "1.04";
    SimulatedCard other(newer);
    std::string why;
    ASSERT_TRUE(card.Start(&why) && other.Start(&why)) << why;

    ShellResult run = Cli("info --port " + card.PortPath());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "firmware=1.03\nhardware=120\n");
    run = Cli("read card.mvta --port " + card.PortPath());
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("readings=2016\n"), std::string::npos) << run.output;
    EXPECT_EQ(std::filesystem::file_size(dir.File("card.mvta")), 131072u);

    run = Cli("info --port " + other.PortPath());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output,
              "firmware=1.04\nhardware=120\nAtenção !: Não é possível utilizar este "
              "software: Versão de firmware, do Keltrix, incompativel !\n");
    EXPECT_EQ(Cli("info --port " + dir.File("no-such-port")).status, 1);
    EXPECT_EQ(Cli("read notdata.txt --port /dev/null").status, 2);
}

}  // namespace
