#include "reports/pdf_graph.h"

#include <gtest/gtest.h>

#include <regex>

#include "files/digest.h"
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

const int kIn = AdForTenths(50), kLow = AdForTenths(10), kHigh = AdForTenths(90);

TEST_F(GraphReportTest, AlarmsStatisticsAndChart) {
    // Tolerance 600 / 300 = 2; readings 12 to 16 below: 14 is the first confirmed one.
    std::vector<int> readings(20, kIn);
    std::fill(readings.begin() + 11, readings.begin() + 16, kLow);
    std::string text = Report(Image(readings)).text;
    EXPECT_TRUE(Has(text, "Total de coletas: 3\nPrimeiro evento: 03/03/2025 10:10:00\n")) << text;
    // Two low episodes of equal length, tolerance 0: the earlier stays the longest.
    GraphReportValues v = GraphReportData(Image({kLow, kLow, kIn, kLow, kLow, kIn}, 300, 0));
    EXPECT_EQ(v.low.maior_ocorrencia_id, 1);
    // Below to above: the count runs on; the high threshold is above, the low one in range.
    v = GraphReportData(Image({kLow, kLow, kLow, AdForTenths(80), kHigh, AdForTenths(20)}));
    EXPECT_EQ(v.low.ocorrencias, 1);
    EXPECT_EQ(v.high.ocorrencias, 2);
    EXPECT_EQ(GraphReportData(Image({kHigh}, 0, 600)).high.ocorrencias, 1);  // tolerance 0
    v = GraphReportData(Image(std::vector(32640, AdForTenths(251))));  // the sums do not drift
    EXPECT_NEAR(v.deviation, 0.0, 1e-5);
    EXPECT_NEAR(v.mkt, 25.1, 1e-5);
    // 20 and 30 C: mean 25.0, MKT 26.3; ties for the extremes keep the earlier reading.
    text = Report(Image({AdForTenths(200), AdForTenths(300), AdForTenths(300), AdForTenths(200)}))
               .text;
    EXPECT_TRUE(Has(text,
                    "Menor temperatura: 20.0°C\n03/03/2025 09:05:00\ncoleta N°. 1\n"
                    "Maior temperatura: 30.0°C\n03/03/2025 09:10:00\ncoleta N°. 2\n"
                    "Media: 25.0°C\nDesvio padrao: ± 5.0°C\n"
                    "Temperatura Cinetica Media (MKT): 26.3°C\n"))
        << text;
    // Fahrenheit: 20.0 C as 68.0 F, a deviation of 0.5 C as 0.9 F.
    MemoryImage image = Image({AdForTenths(195), AdForTenths(205)});
    image[OFF_FLAGS] |= FLAG_FAHRENHEIT;
    text = Report(image).text;
    EXPECT_TRUE(Has(text, "Media: 68.0°F\nDesvio padrao: ± 0.9°F")) << text;
    text = Report(Image({})).text;  // no readings: zeros, never nan or inf
    EXPECT_FALSE(std::regex_search(text, std::regex(R"(\b(nan|inf)\b)"))) << text;
    // 1000 readings: step 3 (333 segments) beside the grid's 2056 lines; the range reaches 9.0 C.
    readings.assign(1000, kIn);
    readings[500] = kHigh;
    CheckedPdf pdf = Report(Image(readings));
    EXPECT_EQ(Occurrences(pdf.pages.at(0), " l h S\n"), 616 + 1320 + 120 + 333);
    EXPECT_TRUE(Has(pdf.text, "\n9.0\n"));
    // One reading: no polyline. Thresholds and reading all equal: 1 C either side.
    MemoryImage flat = Image({kIn});
    PutBigEndian16(&flat[OFF_T_LOW], kIn);
    PutBigEndian16(&flat[OFF_T_HIGH], kIn);
    pdf = Report(flat);
    EXPECT_EQ(Occurrences(pdf.pages.at(0), " l h S\n"), 616 + 1320 + 120);
    EXPECT_TRUE(Has(pdf.text, "\n4.0\n4.2\n"));
    EXPECT_TRUE(Has(pdf.bytes,
                    "/Title (Relat\xF3rio gr\xE1"
                    "fico \x85 Serial 1234)\n/Keywords (sha256:" +
                        DataFileSha256(flat) + ")\n"));
}
}  // namespace
