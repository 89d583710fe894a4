#include "reports/pdf_graph.h"

#include <gtest/gtest.h>

#include <regex>

#include "logger/clock.h"
#include "reports/report_fixture.h"

namespace {

const std::string kDegree = "\xC2\xB0";

class GraphReportTest : public ::testing::Test {
  protected:
    void SetUp() override { SetFixedLocalTime(CALENDAR{0, 0, 12, 1, 6, 2026}); }
    void TearDown() override { SetFixedLocalTime(std::nullopt); }

    // Thresholds 2.0 and 8.0 C.
    static MemoryImage Image(std::vector<int> readings, int sample_rate = 300,
                             int alarm_delay = 600) {
        ImageSpec spec;
        spec.start = CALENDAR{0, 0, 12, 3, 3, 2025};
        spec.t_low_ad = AdForTenths(20);
        spec.t_high_ad = AdForTenths(80);
        spec.sample_rate = sample_rate;
        spec.readings = std::move(readings);
        MemoryImage image = BuildImage(spec);
        image[OFF_ALARM_DELAY] = static_cast<std::uint8_t>(alarm_delay >> 8);
        image[OFF_ALARM_DELAY + 1] = static_cast<std::uint8_t>(alarm_delay);
        return image;
    }

    CheckedPdf Report(const MemoryImage& image) {
        MadeReport made = MakeReport(ReportKind::Graph, image, windows);
        EXPECT_TRUE(made.written);
        return made.pdf;
    }

    RecordingWindowLayer windows;
};

const int kIn = AdForTenths(50);
const int kLow = AdForTenths(10);
const int kHigh = AdForTenths(90);

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(GraphReportTest, AlarmBlocks) {
    // Tolerance 600 / 300 = 2; readings 12 to 16 below: 14 is the first confirmed one.
    std::vector<int> readings(20, kIn);
    for (int number = 12; number <= 16; ++number) {
        readings[number - 1] = kLow;
    }
    GraphReportValues v = GraphReportData(Image(readings));
    EXPECT_EQ(v.low.ocorrencias, 3);
    EXPECT_EQ(v.low.maior_ocorrencia, 3);
    EXPECT_EQ(v.low.maior_ocorrencia_id, 14);
    // Started 12:00 GMT, shown at 09:00; reading 14 is 14 intervals of 5 min later.
    const CALENDAR reading14{0, 10, 10, 3, 3, 2025};
    EXPECT_EQ(v.low.extreme_trigged, reading14);
    EXPECT_EQ(v.low.maior_ocorrencia_trigged, reading14);
    const std::string text = Report(Image(readings)).text;
    EXPECT_TRUE(Has(text,
                    "[ X ] Alarme inferior\nDuracao total: 15min\nTotal de coletas: 3\n"
                    "Primeiro evento: 03/03/2025 10:10:00\nMaior tempo: 15min\n"
                    "03/03/2025 10:10:00\ncoleta N" +
                        kDegree + ". 14\n"))
        << text;
    EXPECT_TRUE(Has(text,
                    "[ ] Alarme superior\nDuracao total: 0s\nTotal de coletas: 0\n"
                    "Primeiro evento: 00/00/0000 00:00:00\nMaior tempo: 0s\n"
                    "00/00/0000 00:00:00\ncoleta N" +
                        kDegree + ". 0\n"))
        << text;

    // Two low episodes of equal length: the earlier stays the longest. Tolerance 0.
    v = GraphReportData(Image({kLow, kLow, kIn, kLow, kLow, kIn}, 300, 0));
    EXPECT_EQ(v.low.ocorrencias, 4);
    EXPECT_EQ(v.low.maior_ocorrencia, 2);
    EXPECT_EQ(v.low.maior_ocorrencia_id, 1);

    // Straight from below to above: the count runs on, so the first reading above is
    // confirmed at once; a reading equal to the high threshold is above it, one equal to
    // the low threshold in range.
    v = GraphReportData(Image({kLow, kLow, kLow, AdForTenths(80), kHigh, AdForTenths(20)}));
    EXPECT_EQ(v.low.ocorrencias, 1);
    EXPECT_EQ(v.high.ocorrencias, 2);
    EXPECT_EQ(v.high.maior_ocorrencia_id, 4);
    EXPECT_EQ(v.high.maior_ocorrencia, 2);

    // An interval of 0 gives a tolerance of 0.
    v = GraphReportData(Image({kHigh}, 0, 600));
    EXPECT_EQ(v.high.ocorrencias, 1);
}

TEST_F(GraphReportTest, Statistics) {
    // A constant series.
    GraphReportValues v = GraphReportData(Image(std::vector(32640, AdForTenths(251))));
    EXPECT_NEAR(v.mean, 25.1, 1e-5);
    EXPECT_NEAR(v.deviation, 0.0, 1e-5);
    EXPECT_NEAR(v.mkt, 25.1, 1e-5);

    // 20 and 30 C: mean 25.0, mean kinetic temperature 26.3, never below the mean.
    const int at20 = AdForTenths(200);
    const int at30 = AdForTenths(300);
    v = GraphReportData(Image({at20, at30, at30, at20}));
    EXPECT_NEAR(v.mean, 25.0, 1e-6);
    EXPECT_NEAR(v.deviation, 5.0, 1e-6);
    EXPECT_NEAR(v.mkt, 26.3, 0.05);
    EXPECT_GE(v.mkt, v.mean);
    // Ties for the extremes keep the earlier reading.
    EXPECT_EQ(v.minimum_number, 1);
    EXPECT_EQ(v.maximum_number, 2);
    EXPECT_EQ(v.first_time, (CALENDAR{0, 5, 9, 3, 3, 2025}));
    EXPECT_EQ(v.last_time, (CALENDAR{0, 20, 9, 3, 3, 2025}));
    std::string text = Report(Image({at20, at30, at30, at20})).text;
    EXPECT_TRUE(Has(text, "Menor temperatura: 20.0" + kDegree +
                              "C\n03/03/2025 09:05:00\n"
                              "coleta N" +
                              kDegree + ". 1\nMaior temperatura: 30.0" + kDegree +
                              "C\n03/03/2025 09:10:00\ncoleta N" + kDegree +
                              ". 2\n"
                              "Media: 25.0" +
                              kDegree + "C\nDesvio padrao: \xC2\xB1 5.0" + kDegree +
                              "C\nTemperatura Cinetica Media (MKT): 26.3" + kDegree + "C\n"))
        << text;
    EXPECT_TRUE(Has(text,
                    "Primeiro: 03/03/2025 09:05:00\nUltimo: 03/03/2025 09:20:00\n"
                    "Total de coletas registradas: 4\n"));

    // Fahrenheit: 20.0 C as 68.0 F, a deviation of 0.5 C as 0.9 F.
    MemoryImage image = Image({AdForTenths(195), AdForTenths(205)});
    image[OFF_FLAGS] |= FLAG_FAHRENHEIT;
    text = Report(image).text;
    EXPECT_TRUE(Has(text, "Media: 68.0" + kDegree + "F")) << text;
    EXPECT_TRUE(Has(text, "Desvio padrao: \xC2\xB1 0.9" + kDegree + "F")) << text;
    EXPECT_TRUE(Has(text, "Temperatura inferior para alarme: 35.6" + kDegree + "F"));
    EXPECT_TRUE(Has(text, "Temperatura " + kDegree + "F"));

    // No readings: zeros, never nan or inf, and no polyline.
    const CheckedPdf empty = Report(Image({}));
    for (const char* shown : {"Menor temperatura: 0.0", "Maior temperatura: 0.0", "Media: 0.0",
                              "Desvio padrao: \xC2\xB1 0.0", "(MKT): 0.0",
                              "Primeiro: 00/00/0000 00:00:00", "Total de coletas registradas: 0"}) {
        EXPECT_TRUE(Has(empty.text, shown)) << shown;
    }
    EXPECT_FALSE(std::regex_search(empty.text, std::regex(R"(\b(nan|inf)\b)"))) << empty.text;
}

TEST_F(GraphReportTest, ConfigurationTexts) {
    EXPECT_EQ(converteUnidadeTempo_g(5400).valor, 1);
    EXPECT_STREQ(converteUnidadeTempo_g(5400).unidade, "h");
    EXPECT_EQ(converteUnidadeTempo_g(90).valor, 1);
    EXPECT_STREQ(converteUnidadeTempo_g(90).unidade, "min");
    EXPECT_STREQ(converteUnidadeTempo_g(30).unidade, "s");

    std::string text = Report(Image({kIn})).text;
    EXPECT_TRUE(Has(text, "KELTRIX Serial #: 1234\n"));
    EXPECT_TRUE(
        Has(text, "Temperatura superior para alarme: 8.0" + kDegree +
                      "C\n"
                      "Atraso para disparo do alarme, quando temperatura fora da faixa: 10min\n"
                      "Intervalo entre medicoes: 5min\n"));
    EXPECT_TRUE(Has(text, "Todos os tempos sao mostrados em GMT -3"));
    EXPECT_TRUE(Has(text, "Data/hora (GMT -3)"));
    EXPECT_TRUE(Has(text, "Pagina 1 de 1"));

    windows.open_windows = {WindowId::Data};
    windows.SetChecked(WindowId::Data, CB_CONVERTER_HORARIO_LOCAL, true);
    text = Report(Image({kIn}, 3600)).text;
    EXPECT_TRUE(Has(text, "Intervalo entre medicoes: 1h\n"));
    EXPECT_TRUE(Has(text, "Todos os tempos sao mostrados em GMT-0"));
    EXPECT_TRUE(Has(text, "Data/hora (GMT-0)"));
    EXPECT_TRUE(Has(text, "Primeiro: 03/03/2025 13:00:00"));
}

// Polyline segments: neither the one-point grid marks nor the four-point dashes.
int PolylineSegments(const std::string& page) {
    static const std::regex segment(R"((\d+) (\d+) m (\d+) (\d+) l h S\n)");
    int count = 0;
    for (std::sregex_iterator it(page.begin(), page.end(), segment), end; it != end; ++it) {
        const int x1 = std::stoi((*it)[1]), y1 = std::stoi((*it)[2]);
        const int x2 = std::stoi((*it)[3]), y2 = std::stoi((*it)[4]);
        const bool mark = x1 == x2 && y2 == y1 - 1;
        const bool dash = y1 == y2 && x2 == x1 + 4;
        count += mark || dash ? 0 : 1;
    }
    return count;
}

TEST_F(GraphReportTest, Chart) {
    EXPECT_EQ(ChartStep(1000), 3);
    EXPECT_EQ(ChartStep(479), 1);
    EXPECT_EQ(ChartStep(480), 2);
    EXPECT_EQ(ChartStep(32000), 67);
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(TimeLabelReading(k, 14), 2 * k);
    }

    // 1000 readings: segments join readings 0, 3, ... 999.
    std::vector<int> readings(1000, kIn);
    readings[500] = kHigh;
    CheckedPdf pdf = Report(Image(readings));
    const std::string& page = pdf.pages.at(0);
    EXPECT_EQ(PolylineSegments(page), 333);
    // Grid: 8 x 77 and 11 x 120 marks; thresholds: 2 x 60 dashes.
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
    EXPECT_TRUE(Has(pdf.pages.at(0), "60 460 m 64 460 l h S\n"));
    EXPECT_TRUE(Has(pdf.pages.at(0),
                    "0 Tc 0 Tw -33 140 TD\n68 -10 TD\n[(03/03/25  09:05:00)] TJ\n"
                    "68 10 TD\n[(03/03/25  09:15:00)] TJ\n"));
    EXPECT_TRUE(Has(pdf.text, "03/03/25 10:05:00\nData/hora (GMT -3)\n"));
    EXPECT_TRUE(Has(pdf.text, "\n2.0\n2.6\n"));

    // One reading: no polyline. Both thresholds and every reading equal: a range of
    // 1 C either side instead of a division by zero.
    MemoryImage flat = Image({kIn});
    for (int offset : {OFF_T_LOW, OFF_T_HIGH}) {
        flat[offset] = static_cast<std::uint8_t>(kIn >> 8);
        flat[offset + 1] = static_cast<std::uint8_t>(kIn);
    }
    pdf = Report(flat);
    EXPECT_EQ(PolylineSegments(pdf.pages.at(0)), 0);
    EXPECT_TRUE(Has(pdf.pages.at(0), "60 305 m 64 305 l h S\n"));
    EXPECT_TRUE(Has(pdf.text, "\n4.0\n4.2\n"));
    EXPECT_TRUE(Has(pdf.text, "\n6.0\n"));
}

}  // namespace
