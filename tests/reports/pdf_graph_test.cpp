#include "reports/pdf_graph.h"

#include <gtest/gtest.h>

#include <regex>

#include "support/pdf_check.h"

namespace {

class GraphReportTest : public ReportTest {
  protected:
    GraphReportTest() : ReportTest(true, CALENDAR{0, 0, 12, 1, 6, 2026}) {}

    // Thresholds 2.0 and 8.0 C.
    static MemoryImage Image(std::vector<int> readings, int rate = 300, int alarm_delay = 600) {
        return BuildImage({.start = {0, 0, 12, 3, 3, 2025},
                           .sample_rate = rate,
                           .t_low_ad = AdForTenths(20),
                           .t_high_ad = AdForTenths(80),
                           .readings = std::move(readings)},
                          alarm_delay);
    }
};

const int kIn = AdForTenths(50);
const int kLow = AdForTenths(10);
const int kHigh = AdForTenths(90);

TEST_F(GraphReportTest, AlarmBlocks) {
    // Tolerance 600 / 300 = 2; readings 12 to 16 below: 14 is the first confirmed one, at
    // 14 intervals of 5 min after 12:00 GMT shown as 09:00.
    std::vector<int> readings(20, kIn);
    std::fill(readings.begin() + 11, readings.begin() + 16, kLow);
    const std::string text = Report(Image(readings)).text;
    EXPECT_TRUE(Has(text,
                    "[ X ] Alarme inferior\nDuracao total: 15min\nTotal de coletas: 3\n"
                    "Primeiro evento: 03/03/2025 10:10:00\nMaior tempo: 15min\n"
                    "03/03/2025 10:10:00\ncoleta N°. 14\n"))
        << text;
    EXPECT_TRUE(Has(text,
                    "[ ] Alarme superior\nDuracao total: 0s\nTotal de coletas: 0\n"
                    "Primeiro evento: 00/00/0000 00:00:00\nMaior tempo: 0s\n"
                    "00/00/0000 00:00:00\ncoleta N°. 0\n"))
        << text;

    // Two low episodes of equal length: the earlier stays the longest. Tolerance 0.
    GraphReportValues v = GraphReportData(Image({kLow, kLow, kIn, kLow, kLow, kIn}, 300, 0));
    EXPECT_EQ(v.low.maior_ocorrencia, 2);
    EXPECT_EQ(v.low.maior_ocorrencia_id, 1);

    // Straight from below to above: the count runs on, so the first reading above is
    // confirmed at once; a reading equal to the high threshold is above it, one equal to
    // the low threshold in range.
    v = GraphReportData(Image({kLow, kLow, kLow, AdForTenths(80), kHigh, AdForTenths(20)}));
    EXPECT_EQ(v.low.ocorrencias, 1);
    EXPECT_EQ(v.high.ocorrencias, 2);
    EXPECT_EQ(v.high.maior_ocorrencia_id, 4);

    // An interval of 0 gives a tolerance of 0.
    v = GraphReportData(Image({kHigh}, 0, 600));
    EXPECT_EQ(v.high.ocorrencias, 1);
}

TEST_F(GraphReportTest, Statistics) {
    // A constant full image: the sums do not drift.
    const GraphReportValues v = GraphReportData(Image(std::vector(32640, AdForTenths(251))));
    EXPECT_NEAR(v.mean, 25.1, 1e-5);
    EXPECT_NEAR(v.deviation, 0.0, 1e-5);
    EXPECT_NEAR(v.mkt, 25.1, 1e-5);

    // 20 and 30 C: mean 25.0, mean kinetic temperature 26.3; ties for the extremes keep the
    // earlier reading.
    std::string text =
        Report(Image({AdForTenths(200), AdForTenths(300), AdForTenths(300), AdForTenths(200)}))
            .text;
    EXPECT_TRUE(Has(text,
                    "Menor temperatura: 20.0°C\n03/03/2025 09:05:00\ncoleta N°. 1\n"
                    "Maior temperatura: 30.0°C\n03/03/2025 09:10:00\ncoleta N°. 2\n"
                    "Media: 25.0°C\nDesvio padrao: ± 5.0°C\n"
                    "Temperatura Cinetica Media (MKT): 26.3°C\n"))
        << text;
    EXPECT_TRUE(Has(text,
                    "Primeiro: 03/03/2025 09:05:00\nUltimo: 03/03/2025 09:20:00\n"
                    "Total de coletas registradas: 4\n"));

    // Fahrenheit: 20.0 C as 68.0 F, a deviation of 0.5 C as 0.9 F.
    MemoryImage image = Image({AdForTenths(195), AdForTenths(205)});
    image[OFF_FLAGS] |= FLAG_FAHRENHEIT;
    text = Report(image).text;
    for (const char* shown : {"Media: 68.0°F", "Desvio padrao: ± 0.9°F",
                              "Temperatura inferior para alarme: 35.6°F", "Temperatura °F"}) {
        EXPECT_TRUE(Has(text, shown)) << shown << text;
    }

    // No readings: zeros, never nan or inf.
    text = Report(Image({})).text;
    for (const char* shown :
         {"Menor temperatura: 0.0", "Maior temperatura: 0.0", "Media: 0.0", "Desvio padrao: ± 0.0",
          "(MKT): 0.0", "Primeiro: 00/00/0000 00:00:00", "Total de coletas registradas: 0"}) {
        EXPECT_TRUE(Has(text, shown)) << shown;
    }
    EXPECT_FALSE(std::regex_search(text, std::regex(R"(\b(nan|inf)\b)"))) << text;
}

TEST_F(GraphReportTest, ChartAndConfiguration) {
    // At most about 480 segments; intervals cut to whole units.
    EXPECT_EQ(ChartStep(479), 1);
    EXPECT_EQ(ChartStep(480), 2);
    EXPECT_EQ(converteUnidadeTempo_g(5400).valor, 1);
    EXPECT_EQ(converteUnidadeTempo_g(90).valor, 1);
    EXPECT_STREQ(converteUnidadeTempo_g(30).unidade, "s");

    // 1000 readings: segments join readings 0, 3, ... 999.
    std::vector<int> readings(1000, kIn);
    readings[500] = kHigh;
    CheckedPdf pdf = Report(Image(readings));
    const std::string& page = pdf.pages.at(0);
    // Grid: 8 x 77 and 11 x 120 marks; thresholds: 2 x 60 dashes; 333 polyline segments.
    EXPECT_EQ(Occurrences(page, " l h S\n"), 616 + 1320 + 120 + 333);
    EXPECT_TRUE(Has(page, "30 80 510 420 re h S\n"));
    // The range reaches 9.0 C above the high threshold: the low line stays at the bottom.
    EXPECT_TRUE(Has(page, "60 150 m 64 150 l h S\n"));
    EXPECT_FALSE(Has(page, "60 460 m 64 460 l h S\n"));
    EXPECT_TRUE(Has(pdf.text, "\n9.0\n"));

    // Readings between the thresholds: the lines lie on the lowest and highest grid lines.
    // 14 readings: time labels at readings 0, 2, 4 ... 12, two-digit years.
    pdf = Report(Image(std::vector(14, kIn)));
    EXPECT_TRUE(Has(pdf.pages.at(0), "60 150 m 64 150 l h S\n"));
    EXPECT_TRUE(Has(pdf.pages[0], "60 460 m 64 460 l h S\n"));
    EXPECT_TRUE(Has(pdf.pages[0],
                    "0 Tc 0 Tw -33 140 TD\n68 -10 TD\n[(03/03/25  09:05:00)] TJ\n"
                    "68 10 TD\n[(03/03/25  09:15:00)] TJ\n"));
    EXPECT_TRUE(Has(pdf.text, "03/03/25 10:05:00\nData/hora (GMT -3)\n"));
    EXPECT_TRUE(Has(pdf.text, "\n2.0\n2.6\n"));
    EXPECT_TRUE(Has(pdf.text, "KELTRIX Serial #: 1234\n"));
    EXPECT_TRUE(Has(pdf.text,
                    "Temperatura superior para alarme: 8.0°C\n"
                    "Atraso para disparo do alarme, quando temperatura fora da faixa: 10min\n"
                    "Intervalo entre medicoes: 5min\n"));
    EXPECT_TRUE(Has(pdf.text, "Todos os tempos sao mostrados em GMT -3"));
    EXPECT_TRUE(Has(pdf.text, "Pagina 1 de 1"));

    // One reading: no polyline. Both thresholds and every reading equal: a range of
    // 1 C either side instead of a division by zero.
    MemoryImage flat = Image({kIn});
    PutBigEndian16(&flat[OFF_T_LOW], kIn);
    PutBigEndian16(&flat[OFF_T_HIGH], kIn);
    pdf = Report(flat);
    EXPECT_EQ(Occurrences(pdf.pages.at(0), " l h S\n"), 616 + 1320 + 120);
    EXPECT_TRUE(Has(pdf.pages[0], "60 305 m 64 305 l h S\n"));
    EXPECT_TRUE(Has(pdf.text, "\n4.0\n4.2\n"));
    EXPECT_TRUE(Has(pdf.text, "\n6.0\n"));
}

}  // namespace
