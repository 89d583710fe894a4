// The companion's card commands against a simulated card, as a script would run them.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "simcard/simulated_card.h"

namespace {

struct CliRun {
    int status;
    std::string out;
};

CliRun Cli(const std::string& arguments) {
    const std::string command = std::string(RAZUROZAVI_CLI) + " " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    CliRun run{-1, ""};
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        run.out += chunk;
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(CardCommands, InfoReadAndRefusal) {
    char pattern[] = "/tmp/razurozavi-cli-card-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    {
        SimulatedCard card;
        std::string why;
        ASSERT_TRUE(card.Start(&why)) << why;
        const std::string port = " --port " + card.PortPath();
        CliRun run = Cli("info" + port);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "firmware=1.03\nhardware=120\n");
        run = Cli("read " + dir + "/card.mvta" + port);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find("readings=2016\n"), std::string::npos) << run.out;
        EXPECT_EQ(std::filesystem::file_size(dir + "/card.mvta"), 131072u);
        card.Stop();
    }
    {
        SimulatedCardOptions options;
        options.firmware = "1.04";
        SimulatedCard card(options);
        std::string why;
        ASSERT_TRUE(card.Start(&why)) << why;
        const CliRun run = Cli("info --port " + card.PortPath());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out,
                  "firmware=1.04\nhardware=120\nAtenção !: Não é possível utilizar este "
                  "software: Versão de firmware, do Keltrix, incompativel !\n");
        card.Stop();
    }
    const CliRun missing = Cli("info --port " + dir + "/no-such-port");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(Cli("read notdata.txt --port /dev/null").status, 2);
    std::filesystem::remove_all(dir);
}

}  // namespace
