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

std::string WriteImage(const TempWorkingDir& dir, const std::string& name, const ImageSpec& spec) {
    WriteFileBytes(dir.File(name), DataFileText(BuildImage(spec)));
    return dir.File(name);
}

}  // namespace

TEST(CliFileCommands, ListAndXlsPrintWhatTheWindowsShow) {
    TempWorkingDir dir;
    ImageSpec spec;
    spec.start = CALENDAR{0, 0, 10, 5, 3, 2014};
    spec.readings = {624, 836};
    const std::string image = WriteImage(dir, "a.mvta", spec);

    CommandResult r = Cli({"list", image});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out,
              "1\t07:01:00\t05.03.14\t25.0\t-10.0\t25.0\t\n"
              "2\t07:02:00\t05.03.14\t0.0\t-10.0\t25.0\t\n");
    r = Cli({"list", "--gmt0", image});
    EXPECT_EQ(r.out.substr(0, 12), "1\t10:01:00\t0");

    r = Cli({"xls", image, "out.xls", "--gmt0"});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(dir.File("out.xls")),
              "0\t10:01:00\t05.03.14\t25,0\t-10,0\t25,0\t\n"
              "1\t10:02:00\t05.03.14\t0,0\t-10,0\t25,0\t\n");
}

TEST(CliFileCommands, RefusalsExitWithStatusOneAndTheMessage) {
    TempWorkingDir dir;
    ImageSpec spec;
    spec.firmware = "102";
    const std::string old_card = WriteImage(dir, "old.mvta", spec);
    CommandResult r = Cli({"list", old_card});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Atenção !: Não é possível utilizar este software: Versão de firmware, do Keltrix, "
              "incompativel !\n");

    WriteFileBytes(dir.File("bad.mvta"), "00FF");
    r = Cli({"xls", dir.File("bad.mvta"), "x.xls"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.xls")));
    r = Cli({"show-config", dir.File("bad.mvta")});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "Erro: Arquivo Inválido: bad.mvta\n");
    r = Cli({"list", "card.mvta"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "Erro: Arquivo Inválido: card.mvta: No such file or directory\n");
    EXPECT_EQ(r.out, "");
}

TEST(CliFileCommands, SaveConfigAndShowConfigRoundTrip) {
    TempWorkingDir dir;
    CommandResult r = Cli({"save-config", "c.mcfg", "sample_points=1000", "sample_rate=300",
                           "led_cycle=20", "flash_alarm=1", "t_low_alarm=898", "t_high_alarm=624",
                           "alarm_delay=600", "descricao=Câmara fria 01", "modo_nuvem=1"});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    r = Cli({"show-config", "c.mcfg"});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out,
              "sample_points=1000\nsample_rate=300\nled_cycle=20\nflash_alarm=1\ntemp_unit=0\n"
              "t_low_alarm=898\nt_high_alarm=624\nstart_delay=0\nalarm_delay=600\n"
              "descricao=Câmara fria 01\nmodo_nuvem=1\n");
}
