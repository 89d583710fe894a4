// The web view's pages, JSON and CSV, and what it derives from the readings.

#include <gtest/gtest.h>

#include "cloud/fake_cloud_server.h"
#include "logger/graph_series.h"
#include "logger/readings.h"
#include "reports/pdf_graph.h"
#include "support/image_builder.h"
#include "web_escape.h"
#include "web_fixture.h"

namespace {

std::vector<int> Flat(int count, int tenths = 50) {
    return std::vector<int>(static_cast<std::size_t>(count), tenths);
}

class WebViewTest : public ::testing::Test {
  protected:
    TempWorkingDir dir;
    WebFixture web;
};

TEST_F(WebViewTest, DescriptionWithQuotesMarkupAndWindows1252IsShownRightEverywhere) {
    // Windows-1252 as the card sends it (ç = E7, ã = E3, ° = B0), and a formula's =.
    const long long id = web.Store(TestHeader(501, "=\"A\" <b>&'\xE7\xE3o 5\xB0"), Flat(3, -125));
    const std::string shown = "=&quot;A&quot; &lt;b&gt;&amp;&#39;\xC3\xA7\xC3\xA3o 5\xC2\xB0";
    const std::string page = web.Body("/uploads/" + std::to_string(id));
    EXPECT_FALSE(Has(page, "<b>"));
    EXPECT_TRUE(Has(page, "<title id=\"grafico-titulo\">Curva das leituras do cartão 501 (" +
                              shown + ")</title>"))
        << page;
    const std::string json = web.Body("/api/uploads/" + std::to_string(id));
    EXPECT_TRUE(Has(json,
                    "\"descricao\":\"=\\\"A\\\" \\u003cb\\u003e\\u0026'\xC3\xA7\xC3\xA3o "
                    "5\xC2\xB0\""))
        << json;
    const std::string csv = web.Body("/uploads/" + std::to_string(id) + ".csv");
    EXPECT_TRUE(Has(csv, ",-12.5,2.0,8.0,501,\"'=\"\"A\"\" <b>&'\xC3\xA7\xC3\xA3o 5\xC2\xB0\"\r\n"))
        << csv;
}

TEST_F(WebViewTest, AlertsAreListedNewestFirstInPagesAndACardShowsThoseOfItsLastUpload) {
    ASSERT_TRUE(web.listening) << web.listen_error;
    const long long older = web.Store(TestHeader(31, "Sala"), Flat(10));
    const long long last = web.Store(TestHeader(31, "Sala", 300, {0, 5, 12, 10, 6, 24}), Flat(10));
    web.Store(TestHeader(32, "Outra"), Flat(10));
    std::string why;
    const auto record = [&](const std::string& rule, long long upload, const std::string& text) {
        return web.alert_store->Record(
            {{rule + "@" + std::to_string(upload), 31, upload, rule, text}}, {"mail"},
            1'800'000'000 + upload, &why);
    };
    ASSERT_TRUE(record("full all", older, "Antigo"));
    ASSERT_TRUE(record("limits all", last, "Saiu <b>dos</b> limites"));
    for (int k = 0; k < WEB_ALERTS_PER_PAGE; ++k) {
        ASSERT_TRUE(record("silence 31 hours=" + std::to_string(k + 1), last, "Silêncio"));
    }
    const StoredAlert failing = web.alert_store->Claim(1'900'000'000, 600, 1, {"mail"}).at(0);
    web.alert_store->MarkFailed(failing.id, "Connection refused", 1'900'000'000, 1'900'000'060);
    const StoredAlert sending = web.alert_store->Claim(1'900'000'000, 600, 1, {"mail"}).at(0);
    web.alert_store->MarkSent(sending.id, 1'900'000'001);

    const std::string page = web.Body("/alertas");
    EXPECT_FALSE(Has(page, "Antigo"));
    EXPECT_LT(page.find("hours=50"), page.find("hours=49")) << page;
    const std::string second = web.Body("/alertas?pagina=2");
    EXPECT_TRUE(Has(second,
                    "<td>full all</td><td>mail</td><td><span class=\"selo fora\">1 "
                    "tentativa falhou</span> <small>Connection refused</small></td>"
                    "<td>Antigo</td>"))
        << second;

    const std::string card = web.Body("/cards/31");
    EXPECT_TRUE(Has(card,
                    "<li>Saiu &lt;b&gt;dos&lt;/b&gt; limites <small>(mail)</small> "
                    "<span class=\"selo dentro\">enviado</span>"))
        << card;
    EXPECT_FALSE(Has(card, "Antigo"));
    EXPECT_FALSE(Has(web.Body("/cards/32"), "Alertas abertos"));
}

// Html and WebJsonString are met in the pages above; what no card description brings:
TEST(WebEscape, TextIsCleanedAndEscapedForEachPlace) {
    // Malformed UTF-8 and control characters become U+FFFD; JSON keeps controls escaped.
    EXPECT_EQ(CleanText("a\xFF-\x01-\xC3"), "a\xEF\xBF\xBD-\xEF\xBF\xBD-\xEF\xBF\xBD");
    EXPECT_EQ(WebJsonString("a\"\\\n\x01</script>\xFF"),
              "\"a\\\"\\\\\\u000a\\u0001\\u003c/script\\u003e\xEF\xBF\xBD\"");
    EXPECT_EQ(UrlComponent("a b/ç"), "a%20b%2F%C3%A7");
}

// From stamp and tenths: the card's own reading times and the report's statistics.
TEST(WebRecording, ReadingTimesAndStatisticsAreTheCardsAndTheReportsOwn) {
    struct Case {
        CALENDAR start;
        int rate;
        int count;
        int t_low_ad = 0;  // 0: the builder's alarms
        int t_high_ad = 0;
    };
    const std::vector<Case> cases = {
        {{50, 59, 23, 28, 2, 2016}, 10, 500},           // across 29 February
        {{0, 0, 2, 1, 3, 2025}, 3600, 100},             // the -3 h shift back into February
        {{15, 45, 12, 10, 6, 2024}, 1, 32000},          // the largest memory, a second apart
        {{0, 0, 12, 3, 3, 2025}, 300, 3000, 700, 560},  // episodes on both sides
    };
    for (const Case& c : cases) {
        ImageSpec spec;
        spec.start = c.start;
        spec.sample_rate = c.rate;
        if (c.t_low_ad != 0) {
            spec.t_low_ad = c.t_low_ad;
            spec.t_high_ad = c.t_high_ad;
        }
        for (int i = 0; i < c.count; ++i) {
            spec.readings.push_back(520 + (i * 37) % 230);
        }
        const MemoryImage image = BuildImage(spec);
        const GraphReportValues report = GraphReportData(image);
        std::vector<CALENDAR> card;
        ForEachReading(image, TimeBase::Adjusted, [&](int, int) { card.push_back(cal); });
        // The desktop program's upload: the graph preparation leaves the stamp in `cal`.
        ASSERT_TRUE(GraphData(image));
        const Recording r =
            MakeRecording(StoredFields(MakeUploadHeader(ConfigFromHeader(image.data()), cal,
                                                        ImageFirmware(image))),
                          UploadedTenths(image));
        ASSERT_TRUE(r.times_known) << c.start.day << "." << c.start.month;
        for (int i = 0; i < c.count; i += (i < 3 || i > c.count - 4 ? 1 : 97)) {
            ASSERT_EQ(ReadingTime(r, i), card[i]) << "reading " << i << " rate " << c.rate;
        }
        const GraphReportValues& web = r.stats;
        EXPECT_EQ(web.minimum_time, report.minimum_time);
        for (const auto& [w, p] :
             {std::pair(&web.low, &report.low), std::pair(&web.high, &report.high)}) {
            EXPECT_EQ(w->ocorrencias, p->ocorrencias) << c.rate;
            EXPECT_TRUE(c.t_low_ad == 0 || w->ocorrencias > 0);
        }
    }
}

}  // namespace
