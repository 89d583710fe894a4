#include "reports/pdf.h"

#include <gtest/gtest.h>

#include <regex>

#include "files/digest.h"
#include "support/pdf_check.h"
#include "support/scoped_time_zone.h"

namespace {
class TableReportTest : public ReportTest {
  protected:
    TableReportTest() : ReportTest(false, CALENDAR{7, 9, 5, 5, 12, 2026}) {}
    static MemoryImage Image(std::vector<int> readings, int sample_rate = 60, int alarm_delay = 0) {
        return BuildImage({.sample_rate = sample_rate, .readings = std::move(readings)},
                          alarm_delay);
    }
};

const int kInRange = AdForTenths(200), kBelow = AdForTenths(-150);  // thresholds -10.0, 25.0

// The reading lines of a table page, "number x y" each, and their colours, "1" for red.
std::pair<std::vector<std::string>, std::string> TableLines(const std::string& page) {
    static const std::regex line(
        R"(BT\n/F4 6 Tf ([01]) 0 0 rg\n0 Tc 0 Tw (\d+ \d+) TD\n\[\((\d+)\)\] TJ\n)");
    std::pair<std::vector<std::string>, std::string> lines;
    for (std::sregex_iterator it(page.begin(), page.end(), line), end; it != end; ++it) {
        lines.first.push_back((*it)[3].str() + " " + (*it)[2].str());
        lines.second += (*it)[1].str();
    }
    return lines;
}

TEST_F(TableReportTest, InfoSaysWhatTheReportIsAndWhenInWhichZone) {
    const MemoryImage image = BuildImage({.serial = 4321, .readings = {kInRange}});
    for (const auto& [zone, offset] :
         {std::pair{"America/Sao_Paulo", "-03'00'"}, std::pair{"Asia/Tokyo", "+09'00'"},
          std::pair{"UTC", "Z"}, std::pair{"Asia/Kolkata", "+05'30'"}}) {
        ScopedTimeZone time_zone(zone);
        const CheckedPdf pdf = Report(image);
        EXPECT_TRUE(Has(pdf.bytes, "1 0 obj\n<<\n/CreationDate (D:20261205050907" +
                                       std::string(offset) +
                                       ")\n/Producer (RazuRozavi 1.0.5)\n"
                                       "/Title (Relat\xF3rio de temperaturas \x85 Serial 4321)\n"
                                       "/Keywords (sha256:" +
                                       DataFileSha256(image) +
                                       ")\n"
                                       "/Creator (RazuRozavi 1.0.5)\n>>\nendobj\n"))
            << zone;
    }
    ScopedTimeZone time_zone("America/Sao_Paulo");
    const std::string path = FreshPath("info.pdf");
    Report(image, path);
    const std::string info = RunShell("pdfinfo " + ShellQuote(path)).output;
    EXPECT_TRUE(Has(info, "Title:           Relatório de temperaturas – Serial 4321")) << info;
    EXPECT_FALSE(Has(info, "Author:")) << info;
}

TEST_F(TableReportTest, PagesColumnsAlarmColoursHeaderAndFooter) {
    // 102 readings fill column 0 (column 1 has its heading alone); reading 409 starts page 2.
    for (const auto& [readings, pages, lines, last, headings] :
         std::vector<std::tuple<int, size_t, size_t, std::string, int>>{
             {102, 1, 102, "102 25 43", 2}, {409, 2, 1, "409 25 750", 1}, {0, 1, 0, "", 1}}) {
        const CheckedPdf pdf = Report(Image(std::vector(readings, kInRange)));
        ASSERT_EQ(pdf.pages.size(), pages) << readings;
        const auto [numbers, colours] = TableLines(pdf.pages.back());
        EXPECT_EQ(numbers.size(), lines) << readings;
        EXPECT_EQ(numbers.empty() ? "" : numbers.back(), last);
        EXPECT_EQ(Occurrences(pdf.pages.back(), "[(Hora)] TJ"), headings) << readings;
        EXPECT_TRUE(Has(pdf.text, "Pagina " + std::to_string(pages) + "/" + std::to_string(pages)));
    }

    // A delay of five intervals: the sixth reading out (or at a limit) is red; shorter: at once.
    const int high = AdForTenths(250);
    std::vector<int> ten(10, kBelow);  // below, below, low, high, below, below, high, in, ...
    ten[2] = AdForTenths(-100), ten[3] = ten[6] = high, ten[7] = kInRange;
    for (const auto& [rate, delay, colours, readings] :
         std::vector<std::tuple<int, int, std::string, std::vector<int>>>{
             {60, 300, "0000011000", ten},
             {60, 30, "101", {kBelow, kInRange, high}},
             {0, 300, "101", {kBelow, kInRange, high}}}) {
        EXPECT_EQ(TableLines(Report(Image(readings, rate, delay)).pages.at(0)).second, colours);
    }

    // 3 March 2025 10:00:00 at 60 s is 07:01:00 in GMT-3; a path that needs escaping.
    const MemoryImage image = BuildImage({.start = {0, 0, 10, 3, 3, 2025},
                                          .t_low_ad = AdForTenths(0),
                                          .serial = 16777214,
                                          .readings = {AdForTenths(45)}},
                                         90);
    const std::string head = FreshPath("");
    const CheckedPdf pdf = Report(image, head + "rel\xC3\xB3rio (1)\\c\xE2\x82\xAC.pdf");
    EXPECT_TRUE(Has(pdf.pages.at(0), "BT\n/F4 6 Tf 0 0 0 rg\n0 Tc 0 Tw 25 20 TD\n[(" +
                                         PdfStringText(head) +
                                         "rel\x97rio \\(1\\)\\\\c?.pdf)] "
                                         "TJ\n270 0 TD\n[(Pagina 1/1)]TJ\nET\n"));
    EXPECT_TRUE(Has(pdf.pages[0],
                    "BT\n/F4 6 Tf 0 0 0 rg\n0 Tc 0 Tw 25 750 TD\n[(1)] TJ\n20 0 TD\n"
                    "[(07:01:00)] TJ\n34 0 TD\n[(03.03.25)] TJ\n34 0 TD\n[(4.5)] TJ\nET\n"));
    EXPECT_TRUE(Has(pdf.text, "fora da faixa: 1min 30s")) << pdf.text;
    EXPECT_EQ(SToHMinS(32640LL * 65535), "594184h 0min 0s");  // far past 9999 hours
}

}  // namespace
