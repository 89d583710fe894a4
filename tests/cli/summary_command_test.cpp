#include <gtest/gtest.h>

#include <filesystem>

#include "files/file.h"
#include "support/pdf_check.h"

namespace {

// The user's own profiles in the test's folder.
class SummaryCommandTest : public ::testing::Test {
  protected:
    SummaryCommandTest() { std::filesystem::create_directories(user_profiles); }

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
    EXPECT_EQ(lines.err, "");
    EXPECT_TRUE(Has(lines.out,
                    "readings=36\ninterval_s=300\nfirst=2014-03-05T10:05:00Z\n"
                    "last=2014-03-05T13:00:00Z\nmin=-0.5\nmax=5.0\n"))
        << lines.out;
    EXPECT_TRUE(Has(lines.out,
                    "below.limit=2.0\nbelow.total_s=3600\nbelow.longest_s=3600\n"
                    "below.episodes=1\n"))
        << lines.out;
    EXPECT_TRUE(Has(lines.out,
                    "profile=oms-30dtr\nverdict=reprovado\nrules.congelamento.passed=false\n"
                    "rules.congelamento.value=3600\nrules.calor.passed=true\n"
                    "rules.calor.value=0\n"))
        << lines.out;
    EXPECT_TRUE(lines.out.ends_with("rules.calor.value=0\n"));

    const CommandResult json = Cli({"summary", "--json", image, "--profile", "oms-30dtr"});
    ASSERT_EQ(json.exit_status, 0) << json.err;
    EXPECT_EQ(Occurrences(json.out, "\n"), 1);
    EXPECT_TRUE(json.out.starts_with("{\"readings\":36,\"interval_s\":300,")) << json.out;
    EXPECT_TRUE(Has(json.out,
                    "\"profile\":\"oms-30dtr\",\"verdict\":\"reprovado\",\"rules\":[{\"name\":"
                    "\"congelamento\",\"passed\":false,\"value\":3600},"))
        << json.out;

    // The card's own alarm (no delay) went off: the default profile fails too.
    const CommandResult card = Cli({"summary", image});
    EXPECT_TRUE(Has(card.out, "profile=cartao\nverdict=reprovado\n")) << card.out;
}

TEST_F(SummaryCommandTest, ProfilesFromTheUsersFolderAndFromFilesOrRefused) {
    const std::string image = FrozenHour();
    WriteFileBytes(user_profiles + "/vacinas.perfil",
                   "# tolerante\ncongelamento: temperature <= -0.5 for 2h single\n");
    const CommandResult user = Cli({"summary", image, "--profile", "vacinas"});
    ASSERT_EQ(user.exit_status, 0) << user.err;
    EXPECT_TRUE(Has(user.out, "profile=vacinas\nverdict=aprovado\n")) << user.out;

    // A file by its path; the lookup's other cases are the profile tests'.
    WriteFileBytes(dir.File("torto.perfil"), "m: mkt <= 4.5\nc: temperature >= 8 for 1h\n");
    const CommandResult refused = Cli({"summary", image, "--profile", dir.File("torto.perfil")});
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "Erro: Perfil inválido: " + dir.File("torto.perfil") +
                               ", linha 2: esperado \"single\" ou \"cumulative\"\n");
}

// Its path, dates, time zones and refusals are checked with the other reports'.
TEST_F(SummaryCommandTest, ThePdfPageCarriesTheChosenProfilesVerdict) {
    const CommandResult run =
        Cli({"summary", FrozenHour(), "--pdf", "resumo.pdf", "--profile", "oms-30dtr", "--gmt0"});
    ASSERT_EQ(run.exit_status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const std::string text = CheckPdf(dir.File("resumo.pdf")).text;
    EXPECT_TRUE(Has(text, "REPROVADO\nperfil oms-30dtr\n")) << text;
    EXPECT_TRUE(Has(text, "Período: 05/03/2014 10:05:00 a 05/03/2014 13:00:00 (GMT-0)"));
}

TEST_F(SummaryCommandTest, TheSampleRecordingInTheCardsOwnTimeAndADamagedFile) {
    const std::string sample = std::string(RAZUROZAVI_TEST_DATA) + "/sample.mvta";
    const CommandResult run = Cli({"summary", sample});
    ASSERT_EQ(run.exit_status, 0) << run.err;
    const std::string card_time = Cli({"list", sample, "--gmt0"}).out;
    EXPECT_TRUE(Has(run.out, "readings=" + std::to_string(Occurrences(card_time, "\n")) + "\n"));
    // The first reading of the list with the card's own time: "1\tHH:MM:SS\tDD.MM.YY\t".
    const std::string time = card_time.substr(2, 8);
    const std::string date = card_time.substr(11, 8);
    EXPECT_TRUE(Has(run.out, "first=20" + date.substr(6, 2) + "-" + date.substr(3, 2) + "-" +
                                 date.substr(0, 2) + "T" + time + "Z\n"))
        << run.out << card_time.substr(0, 40);

    WriteFileBytes(dir.File("ruim.mvta"), "00FF");
    const CommandResult bad = Cli({"summary", dir.File("ruim.mvta")});
    EXPECT_EQ(bad.exit_status, 1);
    EXPECT_TRUE(Has(bad.err, "Erro: Arquivo Inválido")) << bad.err;
    EXPECT_EQ(bad.out, "");
}

}  // namespace
