// razurozavi-cli simulate, as scripts and the desktop program's demonstration start it.

#include <signal.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "link/serial.h"
#include "logger/memory_image.h"
#include "simcard/card_line.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

// The simulator's command line, `registrations` its registration directory.
std::string Simulate(const std::string& registrations, const std::string& args) {
    return std::string("/usr/bin/env ") + SIMULATED_PORTS_ENV + "=" + registrations + " " +
           RAZUROZAVI_CLI + " simulate " + args;
}

std::string Line(std::FILE* out) {
    char text[512] = "";
    return std::fgets(text, sizeof text, out) ? std::string(text, std::strcspn(text, "\n")) : "";
}

}  // namespace

TEST(SimulateCommand, PrintsItsPortServesUntilTerminatedAndCleansUp) {
    TempWorkingDir dir;
    // The shell's pid becomes the simulator's, and pclose gives the simulator's exit status.
    std::FILE* out =
        popen(("echo $$; exec " + Simulate(dir.path(), "--firmware 1.04 --readings 10 2>/dev/null"))
                  .c_str(),
              "r");
    const pid_t pid = std::stoi(Line(out));
    const std::string printed = Line(out);
    ASSERT_EQ(printed.rfind("port=/dev/pts/", 0), 0u) << printed;
    const std::string port = printed.substr(5);
    EXPECT_EQ(Line(out), "registered=" + dir.File("ttyACM0"));
    EXPECT_EQ(std::filesystem::read_symlink(dir.File("ttyACM0")), port);
    {
        CardLine line(port);
        const LinkMessage version = line.Exchange(RequestFrame("VR"));
        ASSERT_EQ(version.size(), std::size_t(FRAME_LENGTH));
        EXPECT_EQ(std::string(version.begin() + 3, version.begin() + 10), "1.04120");
        const LinkMessage first = line.Exchange(RequestFrame("RD", {0, 0, '2'}));
        ASSERT_EQ(first.size(), std::size_t(FRAME_LENGTH));
        EXPECT_EQ(BigEndian16(&first[RD_DATA_OFFSET]), 10);
    }
    kill(pid, SIGTERM);
    EXPECT_EQ(pclose(out), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(dir.File("ttyACM0")));
}

TEST(SimulateCommand, RefusesBadSettingsWithUsage) {
    // Bad settings: usage (2). A registration directory that cannot be written: the card is
    // not started (1). Nothing on the standard output either way.
    const std::pair<const char*, int> cases[] = {
        {"--fault explode", 2}, {"--firmware 1.3", 2}, {"--readings 70000", 2},
        {"--interval 0", 2},    {"extra", 2},          {"", 1}};
    for (const auto& [args, status] : cases) {
        const ShellResult run = RunShell("{ " + Simulate("/nonexistent", args) + " 2>/dev/null; }");
        EXPECT_EQ(run.status, status) << args;
        EXPECT_TRUE(run.output.empty()) << args;
    }
}
