#include "reports/profile.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

// Each built-in profile's rules are exercised by the recording summary's tests.
TEST(ProfileTest, BuiltInProfilesMatchTheInstalledFiles) {
    const std::vector<std::string> names = {"cartao", "oms-30dtr", "oms-qtag-1", "usp-crt"};
    EXPECT_EQ(BuiltInProfileNames(), names);
    for (const std::string& name : names) {
        EXPECT_TRUE(BuiltInProfile(name)) << name;
        EXPECT_EQ(ReadFileBytes(std::string(RAZUROZAVI_TEST_DATA) + "/../../resources/perfis/" +
                                name + ".perfil"),
                  BuiltInProfileText(name).value())
            << name;
    }
    EXPECT_FALSE(BuiltInProfile("oms"));
}

TEST(ProfileTest, CommentsBlankLinesCarriageReturnsAndDeltaH) {
    const auto parsed = ParseProfile("meu",
                                     "# camara fria\r\n"
                                     "\r\n"
                                     "  frio :  temperature < 2 for 90s cumulative  # curto\r\n"
                                     "delta_h: 60.5\n"
                                     "semana: mkt window 7d <= 8.25\n"
                                     "quente: temperature > -1.5 for 2d single");
    const Profile& profile = std::get<Profile>(parsed);
    EXPECT_EQ(profile.delta_h_kj, 60.5);
    EXPECT_EQ(profile.rules,
              (std::vector<ProfileRule>{
                  {"frio", RuleKind::TemperatureCumulative, Comparison::Less, 2, 90},
                  {"semana", RuleKind::Mkt, Comparison::LessOrEqual, 8.25, 7 * 86400},
                  {"quente", RuleKind::TemperatureSingle, Comparison::Greater, -1.5, 2 * 86400}}));
}

TEST(ProfileTest, AWrongLineRefusesTheWholeProfileWithItsNumberAndWhatWasExpected) {
    const std::string good = "ok: temperature >= 8 for 1h single\n";
    const struct {
        std::string line;
        std::string expected;
    } cases[] = {
        {"calor temperature >= 8 for 1h single", "\"NOME: regra\""},
        {"cal or: temperature >= 8 for 1h single", "um nome de letras"},
        {"calor: temp >= 8 for 1h single", "\"temperature\", \"mkt\" ou \"alarm\""},
        {"calor: temperature => 8 for 1h single", "um operador: <, <=, > ou >="},
        {"calor: temperature >= 8,0 for 1h single", "um número"},
        {"calor: temperature >= nan for 1h single", "um número"},
        {"calor: temperature >= 8 during 1h single", "\"for\""},
        {"calor: temperature >= 8 for 1hour single", "uma duração"},
        {"calor: temperature >= 8 for 99999999999999999h single", "uma duração"},
        {"calor: temperature >= 8 for 1h", "\"single\" ou \"cumulative\""},
        {"calor: temperature >= 8 for 1h single sempre", "o fim da linha"},
        {"calor: mkt < 25", "\"window\" ou \"<=\""},
        {"calor: mkt window 0h <= 25", "uma janela"},
        {"calor: mkt window 24h < 25", "\"<=\""},
        {"calor: alarm high", "\"below\" ou \"above\""},
        {"delta_h: 0", "a energia de ativação em kJ/mol"},
        {"ok: alarm above", "um nome que nenhuma regra anterior usa"},
    };
    for (const auto& [line, expected] : cases) {
        const auto parsed = ParseProfile("x", "# perfil\n" + good + line + "\n" + good);
        ASSERT_TRUE(std::holds_alternative<ProfileError>(parsed)) << line;
        EXPECT_EQ(std::get<ProfileError>(parsed).line, 3) << line;
        EXPECT_EQ(std::get<ProfileError>(parsed).expected.rfind(expected, 0), 0u)
            << line << ": " << std::get<ProfileError>(parsed).expected;
    }
    const auto twice = ParseProfile("x", "delta_h: 60\n" + good + "delta_h: 70\n");
    ASSERT_TRUE(std::holds_alternative<ProfileError>(twice));
    EXPECT_EQ(std::get<ProfileError>(twice).line, 3);
    const auto empty = ParseProfile("x", "# nada\n\n");
    ASSERT_TRUE(std::holds_alternative<ProfileError>(empty));
    EXPECT_EQ(std::get<ProfileError>(empty).expected, "ao menos uma regra");
}

TEST(ProfileTest, FoundByBuiltInNameUserNameOrPath) {
    TempWorkingDir dir;
    const std::string user_dir = dir.File("perfis");
    std::filesystem::create_directory(user_dir);
    WriteFileBytes(user_dir + "/geladeira.perfil", "frio: temperature < 2 for 1h single\n");
    WriteFileBytes(user_dir + "/oms-30dtr.perfil", "outro: alarm below\n");
    WriteFileBytes(dir.File("errado.perfil"), "# linha 1\nfrio: temperature < 2 for 1 single\n");

    EXPECT_EQ(FindProfile("geladeira", user_dir).profile.value().name, "geladeira");

    // A built-in name always means the built-in rules.
    EXPECT_EQ(FindProfile("oms-30dtr", user_dir).profile, BuiltInProfile("oms-30dtr"));
    // A file name, relative to the working directory.
    WriteFileBytes(dir.File("local.perfil"), "quente: temperature > 30 for 0min single\n");
    EXPECT_EQ(FindProfile("local.perfil", user_dir).profile.value().name, "local");

    EXPECT_EQ(FindProfile(dir.File("errado.perfil"), user_dir).message,
              "Perfil inválido: " + dir.File("errado.perfil") +
                  ", linha 2: esperado uma duração, como 0min, 60min, 10h ou 1d");

    for (const std::string missing : {"inexistente", "../perfis/nada", "a b"}) {
        const ProfileLookup lookup = FindProfile(missing, user_dir);
        EXPECT_FALSE(lookup.profile) << missing;
        EXPECT_EQ(lookup.message.rfind("Perfil não encontrado: ", 0), 0u) << lookup.message;
    }
    EXPECT_FALSE(FindProfile(user_dir + "/", user_dir).profile);  // a folder
    EXPECT_EQ(UserProfileNames(user_dir), (std::vector<std::string>{"geladeira", "oms-30dtr"}));

    WriteFileBytes(dir.File("enorme.perfil"), std::string(100000, '#'));
    EXPECT_EQ(FindProfile(dir.File("enorme.perfil"), user_dir).message,
              "Perfil inválido: " + dir.File("enorme.perfil") + ": arquivo grande demais");
}

}  // namespace
