// The collection server's web view: pages and JSON, escaping, CSV, reading times, the
// chart's decimation, the statistics, and the statistics' agreement with the report.

#include <gtest/gtest.h>

#include <regex>

#include "cloud/fake_cloud_server.h"
#include "logger/graph_series.h"
#include "logger/readings.h"
#include "reports/pdf_graph.h"
#include "support/image_builder.h"
#include "support/run_command.h"
#include "web_chart.h"
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

TEST_F(WebViewTest, EmptyStoreAnswersEveryPageAndUnknownIdsAre404) {
    ASSERT_TRUE(web.listening) << web.listen_error;
    auto home = web.Get("/");
    ASSERT_TRUE(home);
    EXPECT_EQ(home->status, 200);
    EXPECT_TRUE(Has(home->body, "Nenhum cartão enviou gravações ainda.")) << home->body;
    EXPECT_TRUE(Has(home->get_header_value("Content-Security-Policy"), "default-src 'none'"));
    EXPECT_EQ(home->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_TRUE(Has(home->get_header_value("Server-Timing"), "app;dur="));
    auto api = web.Get("/api/cards");
    ASSERT_TRUE(api);
    EXPECT_EQ(api->body,
              "{\"versao\":1,\"perfil\":\"cartao\",\"pagina\":1,\"paginas\":1,\"total\":0,"
              "\"cartoes\":[]}\n");
    for (const char* path : {"/cards/1234", "/uploads/1", "/uploads/1.csv", "/nada", "/uploads/abc",
                             "/cards/16777216"}) {
        auto r = web.Get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 404) << path;
        EXPECT_TRUE(Has(r->get_header_value("Content-Security-Policy"), "script-src") ||
                    Has(r->get_header_value("Content-Security-Policy"), "default-src 'none'"))
            << path;
        EXPECT_TRUE(Has(r->body, "Não encontrado")) << path;
    }
    auto css = web.Get("/estilo.css");
    ASSERT_TRUE(css);
    EXPECT_EQ(css->get_header_value("Content-Type"), "text/css; charset=utf-8");
}

TEST_F(WebViewTest, OneCardAndManyCardsNewestFirstWithPages) {
    const long long first = web.Store(TestHeader(1234, "Camara 1"), Flat(100));

    // Card 1234 uploads 29 more, the last one warm; card 77 uploads once in between.
    // Each its own recording (the same one twice would be stored once): another minute.
    const auto camara = [](int k) {
        return TestHeader(1234, "Camara 1", 300,
                          CALENDAR{0, static_cast<unsigned char>(k + 1), 12, 10, 6, 24});
    };
    for (int k = 0; k < 14; ++k) {
        web.Store(camara(k), Flat(100));
    }
    web.Store(TestHeader(77, "Sala 2"), Flat(10, 30));
    for (int k = 14; k < 28; ++k) {
        web.Store(camara(k), Flat(100));
    }
    std::vector<int> warm = Flat(100);
    std::fill(warm.begin() + 10, warm.begin() + 20, 95);  // 10 readings at 9.5 C, delay 2
    const long long last = web.Store(TestHeader(1234, "Camara 1 nova"), warm);

    auto home = web.Get("/");
    ASSERT_TRUE(home);
    const std::size_t at1234 = home->body.find("/cards/1234");
    const std::size_t at77 = home->body.find("/cards/77");
    ASSERT_NE(at77, std::string::npos);
    EXPECT_LT(at1234, at77);  // the newest upload first
    EXPECT_TRUE(Has(home->body, "Camara 1 nova</td><td class=\"num\">30</td>")) << home->body;
    EXPECT_TRUE(Has(home->body, "<a href=\"/cards/1234\">1234</a>")) << home->body;
    EXPECT_TRUE(Has(home->body, "Saiu dos limites"));
    EXPECT_TRUE(Has(home->body, "Dentro dos limites"));  // card 77
    EXPECT_TRUE(Has(home->body, "2 cartões enviaram"));

    auto card = web.Get("/cards/1234");
    ASSERT_TRUE(card);
    EXPECT_EQ(Count(card->body, "<a href=\"/uploads/"), WEB_UPLOADS_PER_PAGE);
    EXPECT_TRUE(Has(card->body, "página 1 de 2"));
    // The newest: 100 readings at 5 min, one episode above (8 readings confirmed).
    EXPECT_TRUE(Has(card->body,
                    "<tr class=\"fora\"><td><a href=\"/uploads/" + std::to_string(last) + "\">"))
        << card->body;
    EXPECT_TRUE(Has(card->body,
                    "<td class=\"num\">100</td><td class=\"num\">5min</td><td class=\"num\">5,0 "
                    "°C</td><td class=\"num\">9,5 °C</td><td class=\"num\">0</td><td "
                    "class=\"num\">1</td><td class=\"num\">40min</td>"))
        << card->body;
    auto second = web.Get("/cards/1234?pagina=2");
    ASSERT_TRUE(second);
    EXPECT_EQ(Count(second->body, "<a href=\"/uploads/"), 30 - WEB_UPLOADS_PER_PAGE);
    EXPECT_TRUE(Has(second->body, "<a href=\"/uploads/" + std::to_string(first) + "\">"));
    // A page past the last, or no number, shows a page that exists.
    for (const char* path : {"/cards/1234?pagina=99", "/cards/1234?pagina=x", "/?pagina=-1"}) {
        auto r = web.Get(path);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << path;
    }

    auto api = web.Get("/api/cards");
    ASSERT_TRUE(api);
    EXPECT_TRUE(Has(api->body,
                    "{\"versao\":1,\"perfil\":\"cartao\",\"pagina\":1,\"paginas\":1,\"total\":2,"
                    "\"cartoes\":[{\"serial\":"
                    "1234,\"envios\":30,\"ultimo_envio\":{\"id\":" +
                        std::to_string(last) +
                        ",\"serial\":1234,\"descricao\":"
                        "\"Camara 1 nova\""))
        << api->body;
    EXPECT_TRUE(Has(api->body,
                    "\"episodios_abaixo\":0,\"episodios_acima\":1,"
                    "\"segundos_fora_dos_limites\":2400,\"saiu_dos_limites\":true,"
                    "\"veredito\":\"reprovado\"}"));
    auto api_card = web.Get("/api/cards/77");
    ASSERT_TRUE(api_card);
    EXPECT_TRUE(Has(api_card->body, "\"total\":1,\"envios\":[{\"id\":16,\"serial\":77,"))
        << api_card->body;
    EXPECT_TRUE(Has(api_card->body,
                    "\"leituras\":10,\"intervalo_s\":300,"
                    "\"limite_inferior_c\":2.0,\"limite_superior_c\":8.0,"
                    "\"minima_c\":3.0,\"maxima_c\":3.0"));
}

TEST_F(WebViewTest, DescriptionWithQuotesMarkupAndWindows1252IsShownRightEverywhere) {
    // As the card sends it: Windows-1252 bytes (ç = E7, ã = E3, ° = B0).
    const long long id = web.Store(TestHeader(501, "\"A\" <b>&'\xE7\xE3o 5\xB0"), Flat(3, -125));
    const std::string shown = "&quot;A&quot; &lt;b&gt;&amp;&#39;\xC3\xA7\xC3\xA3o 5\xC2\xB0";
    for (const std::string& path :
         std::vector<std::string>{"/", "/cards/501", "/uploads/" + std::to_string(id)}) {
        auto r = web.Get(path);
        ASSERT_TRUE(r);
        EXPECT_TRUE(Has(r->body, shown)) << path << "\n" << r->body;
        EXPECT_FALSE(Has(r->body, "<b>")) << path;
    }
    auto page = web.Get("/uploads/" + std::to_string(id));
    // The chart's title carries it too, escaped the same way.
    EXPECT_TRUE(Has(page->body, "<title id=\"grafico-titulo\">Curva das leituras do cartão 501 (" +
                                    shown + ")</title>"));
    auto json = web.Get("/api/uploads/" + std::to_string(id));
    ASSERT_TRUE(json);
    EXPECT_TRUE(Has(json->body,
                    "\"descricao\":\"\\\"A\\\" \\u003cb\\u003e\\u0026'\xC3\xA7\xC3\xA3o "
                    "5\xC2\xB0\""))
        << json->body;
    auto csv = web.Get("/uploads/" + std::to_string(id) + ".csv");
    ASSERT_TRUE(csv);
    EXPECT_TRUE(
        Has(csv->body, ",-12.5,2.0,8.0,501,\"\"\"A\"\" <b>&'\xC3\xA7\xC3\xA3o 5\xC2\xB0\"\r\n"))
        << csv->body;
    EXPECT_EQ(csv->get_header_value("Content-Disposition"),
              "attachment; filename=\"razurozavi-501-" + std::to_string(id) + ".csv\"");
}

TEST_F(WebViewTest, CsvGuardsFormulasButKeepsNumbersAndReadsBackWithPythonsCsv) {
    const long long id = web.Store(TestHeader(9, "=HYPERLINK(\"x\")"), {-125, 0, 251, 80, 19});
    auto csv = web.Get("/uploads/" + std::to_string(id) + ".csv");
    ASSERT_TRUE(csv);
    EXPECT_TRUE(
        Has(csv->body,
            "numero,data_hora,temperatura_c,limite_inferior_c,limite_superior_c,serial,"
            "descricao\r\n1,2024-06-10 11:35:00,-12.5,2.0,8.0,9,\"'=HYPERLINK(\"\"x\"\")\"\r\n"))
        << csv->body;
    EXPECT_EQ(CsvText("-5 graus"), "'-5 graus");
    EXPECT_EQ(CsvText("+1"), "'+1");
    EXPECT_EQ(CsvText("@SUM(A1)"), "'@SUM(A1)");
    EXPECT_EQ(CsvText("Sala, 2"), "\"Sala, 2\"");

    WriteFileBytes("readings.csv", csv->body);
    const ShellResult python = RunShell(
        "command -v python3 >/dev/null || { echo NO-PYTHON; exit 0; }; python3 -c '"
        "import csv\n"
        "with open(\"readings.csv\", newline=\"\", encoding=\"utf-8\") as f:\n"
        "    rows = list(csv.DictReader(f))\n"
        "print(\";\".join(r[\"numero\"] + \"=\" + r[\"temperatura_c\"] for r in rows))\n"
        "print(rows[0][\"descricao\"], rows[0][\"data_hora\"], len(rows[0]))'");
    if (Has(python.output, "NO-PYTHON")) {
        GTEST_SKIP() << "python3 is not installed";
    }
    EXPECT_EQ(python.output,
              "1=-12.5;2=0.0;3=25.1;4=8.0;5=1.9\n'=HYPERLINK(\"x\") 2024-06-10 "
              "11:35:00 7\n");
}

TEST_F(WebViewTest, AlertsAreListedNewestFirstInPagesAndACardShowsThoseOfItsLastUpload) {
    ASSERT_TRUE(web.listening) << web.listen_error;
    auto empty = web.Get("/alertas");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(Has(empty->body, "<p class=\"vazio\">Nenhum alerta.</p>")) << empty->body;
    EXPECT_TRUE(Has(empty->body, "<a href=\"/alertas\">Alertas</a>"));

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

    auto first = web.Get("/alertas");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 200);
    const std::string& page = first->body;
    EXPECT_TRUE(Has(page, "52 alertas, um por canal; o mais recente primeiro.")) << page;
    EXPECT_TRUE(Has(page, "página 1 de 2"));
    EXPECT_TRUE(Has(page, "silence 31 hours=50"));
    EXPECT_FALSE(Has(page, "Antigo"));
    EXPECT_LT(page.find("hours=50"), page.find("hours=49"));
    auto second = web.Get("/alertas?pagina=2");
    ASSERT_TRUE(second);
    EXPECT_TRUE(Has(second->body,
                    "<td>full all</td><td>mail</td><td><span class=\"selo fora\">1 "
                    "tentativa falhou</span> <small>Connection refused</small></td>"
                    "<td>Antigo</td>"))
        << second->body;
    EXPECT_TRUE(Has(second->body, "<span class=\"selo dentro\">enviado</span> 2030-03-17"))
        << second->body;
    EXPECT_TRUE(Has(second->body, "Saiu &lt;b&gt;dos&lt;/b&gt; limites"));

    auto card = web.Get("/cards/31");
    ASSERT_TRUE(card);
    EXPECT_TRUE(Has(card->body, "<h2>Alertas abertos</h2>"));
    EXPECT_TRUE(Has(card->body,
                    "<li>Saiu &lt;b&gt;dos&lt;/b&gt; limites <small>(mail)</small> "
                    "<span class=\"selo dentro\">enviado</span>"))
        << card->body;
    EXPECT_FALSE(Has(card->body, "Antigo"));
    auto quiet = web.Get("/cards/32");
    ASSERT_TRUE(quiet);
    EXPECT_FALSE(Has(quiet->body, "Alertas abertos"));
}

// Html and WebJsonString are met in the pages above; what no card description brings:
TEST(WebEscape, TextIsCleanedAndEscapedForEachPlace) {
    // Malformed UTF-8 and control characters become U+FFFD; JSON keeps controls escaped.
    EXPECT_EQ(CleanText("a\xFF-\x01-\xC3"), "a\xEF\xBF\xBD-\xEF\xBF\xBD-\xEF\xBF\xBD");
    EXPECT_EQ(WebJsonString("a\"\\\n\x01</script>\xFF"),
              "\"a\\\"\\\\\\u000a\\u0001\\u003c/script\\u003e\xEF\xBF\xBD\"");
    EXPECT_EQ(UrlComponent("a b/ç"), "a%20b%2F%C3%A7");
}

// What the card stamps each reading with, the upload's stamp as the desktop program
// computes it, and what the web view derives from the tenths the card uploads: the card's
// own reading times and the graph report's own statistics.
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
        {{59, 59, 23, 31, 12, 2024}, 7, 300},           // across the year's end
        {{0, 0, 2, 1, 3, 2025}, 3600, 100},             // the -3 h shift back into February
        {{0, 0, 12, 5, 3, 2014}, 43200, 2000},          // months at 12 h a reading
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
        const UploadHeader header =
            MakeUploadHeader(ConfigFromHeader(image.data()), cal, ImageFirmware(image));
        StoredUpload upload;
        upload.stamp = header.stamp;
        upload.sample_rate = header.sample_rate;
        upload.alarm_delay = header.alarm_delay;
        upload.low_alarm_x10 = header.low_alarm_x10;
        upload.high_alarm_x10 = header.high_alarm_x10;
        const Recording r = MakeRecording(upload, UploadedTenths(image));
        ASSERT_TRUE(r.times_known) << c.start.day << "." << c.start.month;
        for (int i = 0; i < c.count; i += (i < 3 || i > c.count - 4 ? 1 : 97)) {
            ASSERT_EQ(ReadingTime(r, i), card[i]) << "reading " << i << " rate " << c.rate;
        }
        const GraphReportValues& web = r.stats;
        EXPECT_EQ(web.first_time, card.front());
        EXPECT_EQ(web.last_time, card.back());
        EXPECT_EQ(web.readings, report.readings);
        EXPECT_EQ(web.minimum, report.minimum);
        EXPECT_EQ(web.maximum, report.maximum);
        EXPECT_EQ(web.minimum_time, report.minimum_time);
        EXPECT_EQ(web.mean, report.mean);
        EXPECT_EQ(web.deviation, report.deviation);
        EXPECT_EQ(web.mkt, report.mkt);
        for (const auto& [w, p] :
             {std::pair(&web.low, &report.low), std::pair(&web.high, &report.high)}) {
            EXPECT_EQ(w->ocorrencias, p->ocorrencias) << c.rate;
            EXPECT_EQ(w->maior_ocorrencia, p->maior_ocorrencia);
            EXPECT_EQ(w->episodes.size(), p->episodes.size());
            EXPECT_TRUE(c.t_low_ad == 0 || w->ocorrencias > 0);
        }
    }
    // A stamp that is no date leaves the times unknown.
    EXPECT_FALSE(RecordingStart({0, 0, 25, 1, 1, 24}, 10, 60));
    EXPECT_FALSE(RecordingStart({0, 0, 0, 1, 13, 24}, 10, 60));
}

TEST(WebRecording, ChartKeepsEveryExcursionOfTheLargestMemory) {
    std::vector<int> tenths(32000, 50);
    tenths[12345] = 400;   // one reading at 40.0 C
    tenths[31999] = -300;  // the last at -30.0 C
    tenths[1] = -301;
    const std::vector<int> points = ChartPoints(tenths, CHART_COLUMNS);
    EXPECT_LE(points.size(), 2u * CHART_COLUMNS);
    for (const int i : {1, 12345, 31999}) {
        EXPECT_NE(std::find(points.begin(), points.end(), i), points.end()) << i;
    }
    EXPECT_TRUE(std::is_sorted(points.begin(), points.end()));
    // Few readings: every one.
    EXPECT_EQ(ChartPoints(std::vector<int>(7, 1), CHART_COLUMNS).size(), 7u);

    StoredUpload upload;
    upload.stamp = {0, 0, 12, 10, 6, 24};
    upload.sample_rate = 60;
    upload.low_alarm_x10 = 20;
    upload.high_alarm_x10 = 80;
    const std::string svg = ChartSvg(MakeRecording(upload, tenths));
    const std::smatch found = [&] {
        std::smatch m;
        std::regex_search(svg, m, std::regex("<polyline class=\"curva\" points=\"([^\"]*)\"/>"));
        return m;
    }();
    ASSERT_FALSE(found.empty()) << svg.substr(0, 2000);
    const std::string points_text = found[1].str();
    EXPECT_EQ(Count(points_text, ","), static_cast<int>(points.size()));
    EXPECT_EQ(Count(svg, "<line class=\"limite "), 2);
    EXPECT_TRUE(Has(svg, "Limite superior 8,0 °C"));
    EXPECT_TRUE(Has(svg, "Limite inferior 2,0 °C"));
}

TEST_F(WebViewTest, UploadPageShowsStatisticsEpisodesChartAndMarkedReadings) {
    std::vector<int> tenths = Flat(1200);
    std::fill(tenths.begin() + 100, tenths.begin() + 110, 10);  // 1.0 C, 10 readings
    tenths[700] = 90;                                           // one reading above: not confirmed
    const long long id = web.Store(TestHeader(1234, "Camara"), tenths);
    auto page = web.Get("/uploads/" + std::to_string(id));
    ASSERT_TRUE(page);
    const std::string& html = page->body;
    EXPECT_TRUE(Has(html, "<dt>Total de coletas registradas</dt><dd>1200</dd>")) << html;
    EXPECT_TRUE(Has(html, "<dt>Menor temperatura</dt><dd>1,0 °C<br><small>"));
    EXPECT_TRUE(Has(html, "coleta nº 101</small>"));
    // Tolerance 600 / 300 = 2: 8 of the 10 low readings are confirmed, from reading 103.
    EXPECT_TRUE(Has(html, "<td>abaixo do limite</td>"));
    EXPECT_TRUE(Has(html,
                    "<td class=\"num\">103</td><td class=\"num\">8</td><td "
                    "class=\"num\">40min</td><td class=\"num\">1,0 °C</td>"))
        << html;
    EXPECT_TRUE(Has(html, "<polyline class=\"curva\""));
    EXPECT_EQ(Count(html, "▼ abaixo do limite"), 10);  // the first page: readings 1-500
    EXPECT_TRUE(Has(html, "página 1 de 3"));
    auto second = web.Get("/uploads/" + std::to_string(id) + "?pagina=2");
    ASSERT_TRUE(second);
    EXPECT_EQ(Count(second->body, "▲ acima do limite"), 1);
    EXPECT_TRUE(Has(second->body, "<td class=\"num\">701</td>"));
    EXPECT_FALSE(Has(second->body, "<td class=\"num\">500</td><td>"));
    auto json = web.Get("/api/uploads/" + std::to_string(id));
    ASSERT_TRUE(json);
    EXPECT_TRUE(Has(json->body, "\"episodios\":[{\"lado\":\"abaixo\",\"primeira_coleta\":103,"))
        << json->body.substr(0, 1500);
    EXPECT_TRUE(Has(json->body, "{\"n\":701,\"hora\":\""));
    EXPECT_TRUE(Has(json->body, "\"temperatura_c\":9.0,\"fora\":true}"));
    EXPECT_EQ(Count(json->body, "{\"n\":"), 1200);
}

}  // namespace
