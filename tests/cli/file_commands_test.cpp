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

TEST(CliFileCommands, RefusalsExitWithStatusOneAndTheMessage) {
    TempWorkingDir dir;
    WriteFileBytes(dir.File("old.mvta"), DataFileText(BuildImage({.firmware = "102"})));
    CommandResult r = Cli({"list", "old.mvta"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err,
              "Atenção !: Não é possível utilizar este software: Versão de firmware, do Keltrix, "
              "incompativel !\n");
    WriteFileBytes(dir.File("bad.mvta"), "00FF");
    r = Cli({"xls", "bad.mvta", "x.xls"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err.rfind("Erro: Arquivo Inválido: bad.mvta: ", 0), 0u) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.xls")));
}

TEST(CliFileCommands, SaveConfigAndShowConfigRoundTrip) {
    TempWorkingDir dir;
    const CommandResult r =
        Cli({"save-config", "c.mcfg", "sample_points=1000", "sample_rate=300", "led_cycle=20",
             "flash_alarm=1", "t_low_alarm=898", "t_high_alarm=624", "alarm_delay=600",
             "descricao=Câmara fria 01", "modo_nuvem=1"});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(Cli({"show-config", "c.mcfg"}).out,
              "sample_points=1000\nsample_rate=300\nled_cycle=20\nflash_alarm=1\ntemp_unit=0\n"
              "t_low_alarm=898\nt_high_alarm=624\nstart_delay=0\nalarm_delay=600\n"
              "descricao=Câmara fria 01\nmodo_nuvem=1\n");
}
