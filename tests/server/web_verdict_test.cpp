// The verdict of the server's profile wherever the web view lists a recording.

#include <gtest/gtest.h>

#include <variant>

#include "web_fixture.h"

namespace {

// 12 readings at 5 min: one hour.
std::vector<int> Hour(int tenths) {
    return std::vector<int>(12, tenths);
}

TEST(WebVerdict, DefaultProfileJudgesByTheCardsAlarmsEverywhere) {
    TempWorkingDir dir;
    WebFixture web;
    ASSERT_TRUE(web.listening) << web.listen_error;
    const long long good = web.Store(TestHeader(10, "Boa"), Hour(50));
    // Above 8.0 for an hour: past the 10 min alarm delay.
    const long long warm = web.Store(TestHeader(10, "Quente"), Hour(95));

    EXPECT_EQ(Count(web.Body("/cards/10"), "<span class=\"selo fora\">reprovado</span>"), 1);
    const std::string page = web.Body("/uploads/" + std::to_string(warm));
    EXPECT_TRUE(Has(page,
                    "<h2>Veredito</h2>\n<p><span class=\"selo fora\">reprovado</span> "
                    "pelo perfil cartao (2 regras).</p>"))
        << page;
    EXPECT_EQ(Count(web.Body("/api/v1/cards/10"), "\"veredito\":\"reprovado\"}"), 1);

    // The summary command's object: stamped 12:00 one interval after the last reading.
    const std::string json = web.Body("/api/v1/uploads/" + std::to_string(good));
    EXPECT_TRUE(Has(json, "\"first\":\"2024-06-10T11:00:00Z\",\"last\":\"2024-06-10T11:55:00Z\","))
        << json.substr(0, 2000);
    EXPECT_TRUE(Has(json, "\"profile\":\"cartao\",\"verdict\":\"aprovado\","));

    // 31 February: no date the card's calendar reaches, so the times are null, not made up.
    const long long undated =
        web.Store(TestHeader(30, "Sem data", 300, {0, 0, 12, 31, 2, 24}), Hour(50));
    EXPECT_TRUE(Has(web.Body("/api/v1/uploads/" + std::to_string(undated)),
                    "\"interval_s\":300,\"first\":null,\"last\":null,"));
}

TEST(WebVerdict, ProfileFileOfTheServerIsTheOneApplied) {
    TempWorkingDir dir;
    const auto parsed = ParseProfile("frio", "frio: temperature >= 4 for 30min single\n");
    ASSERT_TRUE(std::holds_alternative<Profile>(parsed));
    WebOptions options;
    options.profile = std::get<Profile>(parsed);
    WebFixture web(options);
    ASSERT_TRUE(web.listening) << web.listen_error;
    // Inside the card's limits all along, but at 5.0 C for an hour: the profile fails it.
    const long long id = web.Store(TestHeader(20, "Frio"), Hour(50));
    const long long cold = web.Store(TestHeader(20, "Mais frio"), Hour(30));
    const std::string json = web.Body("/api/uploads/" + std::to_string(id));
    EXPECT_TRUE(Has(json,
                    "\"profile\":\"frio\",\"verdict\":\"reprovado\",\"rules\":[{"
                    "\"name\":\"frio\",\"passed\":false,\"value\":3600}]"))
        << json.substr(0, 2000);
    EXPECT_TRUE(Has(web.Body("/api/uploads/" + std::to_string(cold)), "\"verdict\":\"aprovado\""));
}

}  // namespace
