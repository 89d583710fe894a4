#include <gtest/gtest.h>

#include "files/file.h"
#include "support/image_builder.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

CommandResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), RAZUROZAVI_CLI);
    return RunCommand(args);
}

}  // namespace

TEST(CliCommandLine, HelpAndVersionGoToStandardOutput) {
    const CommandResult r = Cli({"--help"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out.rfind("usage: razurozavi-cli COMMAND", 0), 0u) << r.out;
    EXPECT_EQ(Cli({"--version"}).out, std::string("razurozavi-cli ") + RAZUROZAVI_VERSION + "\n");

    EXPECT_EQ(Cli({"list", "--help"}).out, "usage: razurozavi-cli list IMAGE [--gmt0]\n");
}

TEST(CliCommandLine, OptionsTakeBothFormsAnywhereAndADoubleDashEndsThem) {
    TempWorkingDir dir;
    WriteFileBytes(dir.File("a.mvta"), DataFileText(BuildImage({.readings = {624}})));
    WriteFileBytes(dir.File("--gmt0.mvta"), ReadFileBytes(dir.File("a.mvta")));

    const CommandResult before = Cli({"list", "--gmt0", "a.mvta"});
    ASSERT_EQ(before.exit_status, 0) << before.err;
    EXPECT_EQ(Cli({"list", "a.mvta", "--gmt0"}).out, before.out);
    // After "--" a word that looks like an option is a file name.
    EXPECT_EQ(Cli({"list", "--gmt0", "--", "--gmt0.mvta"}).out, before.out);

    // The report names its own path, so both forms write the same file.
    ASSERT_EQ(Cli({"pdf-table", "a.mvta", "t.pdf", "--now", "2025-01-02 03:04:05"}).exit_status, 0);
    const std::string separate = ReadFileBytes(dir.File("t.pdf"));
    ASSERT_EQ(Cli({"pdf-table", "a.mvta", "t.pdf", "--now=2025-01-02 03:04:05"}).exit_status, 0);
    EXPECT_EQ(ReadFileBytes(dir.File("t.pdf")), separate);
}

// Refused before anything is read or written: exit 2, the command's usage, nothing left.
TEST(CliCommandLine, WrongUsageExitsTwoWithTheCommandsUsage) {
    TempWorkingDir dir;
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""},
        {{"no-such-command"}, ""},
        {{"list", "a.mvta", "--bogus"}, "list"},
        {{"list", "a.mvta", "--gmt0=yes"}, "list"},
        {{"upload", "a.mvta", "--host"}, "upload"},
        {{"save-config", "c.mcfg", "sample_rate"}, "save-config"},
        {{"save-config", "c.mcfg", "colour=red"}, "save-config"},
        {{"save-config", "c.mcfg", "sample_rate=70000"}, "save-config"},
        {{"summary"}, "summary"},
        {{"pdf-table", "a.mvta", "t.pdf", "--now", "yesterday"}, "pdf-table"},
        {{"print", "a.mvta"}, "print"}};
    for (const auto& [args, command] : cases) {
        const CommandResult r = Cli(args);
        EXPECT_EQ(r.exit_status, 2) << command;
        EXPECT_NE(r.err.find("usage: razurozavi-cli " + command), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_TRUE(FolderEntries(dir.path()).empty());
}

TEST(CliCommandLine, NothingButResultsOnStandardOutput) {
    TempWorkingDir dir;
    ImageSpec spec;
    spec.readings = {624};
    WriteFileBytes(dir.File("a.mvta"), DataFileText(BuildImage(spec)));
    // Port 1 on loopback: nothing listens there, the connection is refused at once.
    const CommandResult r = Cli({"upload", "a.mvta", "--host", "127.0.0.1", "--tcp-port", "1"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Erro ao se conectar"), std::string::npos) << r.err;
}
