#include <gtest/gtest.h>

#include <filesystem>

#include "files/file.h"
#include "support/pdf_check.h"

namespace {

// The user's own profiles in the test's folder.
class SummaryCommandTest : public ::testing::Test {
  protected:
    CommandResult Cli(std::vector<std::string> args) const {
        args.insert(args.begin(),
                    {"/usr/bin/env", "XDG_CONFIG_HOME=" + dir.File("config"), RAZUROZAVI_CLI});
        return RunCommand(args);
    }

    // Five-minute readings of a fridge at 5.0 C with an hour at -0.5 C.
    std::string FrozenHour() {
        ImageSpec spec;
        spec.sample_rate = 300;
        spec.t_low_ad = AdForTenths(20);
        spec.t_high_ad = AdForTenths(80);
        spec.readings.assign(24, AdForTenths(50));
        spec.readings.insert(spec.readings.begin() + 6, 12, AdForTenths(-5));
        WriteFileBytes(dir.File("frio.mvta"), DataFileText(BuildImage(spec)));
        return dir.File("frio.mvta");
    }

    TempWorkingDir dir;
    const std::string user_profiles = dir.File("config") + "/razurozavi/perfis";
};

TEST_F(SummaryCommandTest, LinesAndJsonCarryTheVerdictOfTheChosenProfile) {
    const std::string image = FrozenHour();
    const CommandResult lines = Cli({"summary", image, "--profile", "oms-30dtr"});
    ASSERT_EQ(lines.exit_status, 0) << lines.err;
    EXPECT_TRUE(Has(lines.out, "below.total_s=3600\n")) << lines.out;
    EXPECT_TRUE(
        lines.out.ends_with("profile=oms-30dtr\nverdict=reprovado\n"
                            "rules.congelamento.passed=false\n"
                            "rules.congelamento.value=3600\nrules.calor.passed=true\n"
                            "rules.calor.value=0\n"))
        << lines.out;

    const CommandResult json = Cli({"summary", "--json", image, "--profile", "oms-30dtr"});
    ASSERT_EQ(json.exit_status, 0) << json.err;
    EXPECT_EQ(Occurrences(json.out, "\n"), 1);
    EXPECT_TRUE(Has(json.out, "\"profile\":\"oms-30dtr\",\"verdict\":\"reprovado\",")) << json.out;

    // The card's own alarm (no delay) went off: the default profile fails too.
    EXPECT_TRUE(Has(Cli({"summary", image}).out, "profile=cartao\nverdict=reprovado\n"));
}

TEST_F(SummaryCommandTest, ProfilesFromTheUsersFolderAndFromFilesOrRefused) {
    const std::string image = FrozenHour();
    std::filesystem::create_directories(user_profiles);
    WriteFileBytes(user_profiles + "/vacinas.perfil",
                   "# tolerante\ncongelamento: temperature <= -0.5 for 2h single\n");
    const CommandResult user = Cli({"summary", image, "--profile", "vacinas"});
    ASSERT_EQ(user.exit_status, 0) << user.err;
    EXPECT_TRUE(Has(user.out, "profile=vacinas\nverdict=aprovado\n")) << user.out;

    WriteFileBytes(dir.File("torto.perfil"), "m: mkt <= 4.5\nc: temperature >= 8 for 1h\n");
    const CommandResult refused = Cli({"summary", image, "--profile", dir.File("torto.perfil")});
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_EQ(refused.err, "Erro: Perfil inválido: " + dir.File("torto.perfil") +
                               ", linha 2: esperado \"single\" ou \"cumulative\"\n");
}

// The summary's times are the card's own, as `list --gmt0` gives them.
TEST_F(SummaryCommandTest, TheSampleRecordingInTheCardsOwnTime) {
    const std::string sample = std::string(RAZUROZAVI_TEST_DATA) + "/sample.mvta";
    const std::string summary = Cli({"summary", sample}).out;
    const std::string card_time = Cli({"list", sample, "--gmt0"}).out;
    const std::string time = card_time.substr(2, 8);  // "1\tHH:MM:SS\tDD.MM.YY\t"
    const std::string date = card_time.substr(11, 8);
    EXPECT_TRUE(Has(summary, "first=20" + date.substr(6, 2) + "-" + date.substr(3, 2) + "-" +
                                 date.substr(0, 2) + "T" + time + "Z\n"))
        << summary;
}

}  // namespace
