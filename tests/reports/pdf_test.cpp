#include "reports/pdf.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <regex>

#include "support/pdf_check.h"

namespace {

class TableReportTest : public ReportTest {
  protected:
    TableReportTest() : ReportTest(false, CALENDAR{7, 9, 5, 5, 12, 2026}) {}

    static MemoryImage Image(std::vector<int> readings, int sample_rate = 60, int alarm_delay = 0) {
        return BuildImage({.sample_rate = sample_rate, .readings = std::move(readings)},
                          alarm_delay);
    }
};

const int kInRange = AdForTenths(200);  // 20.0 C, between -10.0 and 25.0
const int kBelow = AdForTenths(-150);

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

// What the reports below do not show: hours, "+", some date fields, control characters
// and characters outside MacRoman.
TEST(PdfWriterTest, TextsOfTheWriter) {
    EXPECT_EQ(SToHMinS(3725), "1h 2min 5s");
    // 32640 confirmed readings at the longest interval: far past 9999 hours.
    EXPECT_EQ(SToHMinS(32640LL * 65535), "594184h 0min 0s");
    EXPECT_EQ(GmtSignChar(1), '+');
    EXPECT_EQ(PdfDateText(CALENDAR{59, 59, 23, 31, 12, 2026}), "D:20261231235959");
    EXPECT_EQ(PdfStringText("a\nb"), "a\\012b");
    // In MacRoman: c cedilla 0x8D, degree 0xA1; the euro and a check mark are missing.
    EXPECT_EQ(PdfStringText("a\xC3\xA7\xC2\xB0"), "a\x8D\xA1");
    EXPECT_EQ(PdfStringText("\xE2\x82\xAC\xE2\x9C\x93"), "??");
    EXPECT_EQ(PdfStringText("\xC3"), "?");  // cut UTF-8
}

TEST_F(TableReportTest, DocumentPagesAndColumns) {
    // In this order: info (created at the local time), resources, font, state, catalog, tree,
    // page, stream, then unused numbers as free entries chained from entry 0: 2, 3, 8, 9, 0.
    // 102 readings fill column 0; column 1 gets its heading with nothing under it.
    CheckedPdf pdf = Report(Image(std::vector(102, kInRange)));
    std::size_t at = 0;
    for (const char* part : {"\n1 0 obj",
                             "/CreationDate (D:20261205050907)\n/Producer (Producer)\n"
                             "/Author (Author)\n/Title (Title)\n/Creator (Creator)\n>>\nendobj\n",
                             "\n4 0 obj", "\n5 0 obj", "\n6 0 obj", "\n12 0 obj", "\n7 0 obj",
                             "\n10 0 obj", "\n11 0 obj", "\nxref\n0 13\n0000000002 65535 f \n",
                             "0000000003 00000 f \n0000000008 00000 f \n",
                             "trailer\n<<\n/Size 13\n/Root 12 0 R\n/Info 1 0 R\n>>\nstartxref\n"}) {
        at = pdf.bytes.find(part, at);
        ASSERT_NE(at, std::string::npos) << part;
    }
    EXPECT_EQ(TableLines(pdf.pages.at(0)).first.size(), 102u);
    EXPECT_EQ(Occurrences(pdf.pages[0], "[(Hora)] TJ"), 2);
    EXPECT_TRUE(Has(pdf.pages[0], "0 Tc 0 Tw 165 760 TD\n[(N)] TJ"));

    // 408 readings: one full page and nothing after it.
    pdf = Report(Image(std::vector(408, kInRange)));
    ASSERT_EQ(pdf.pages.size(), 1u);
    EXPECT_EQ(Occurrences(pdf.pages[0], "[(Hora)] TJ"), 4);
    EXPECT_EQ(TableLines(pdf.pages[0]).first.back(), "408 445 43");

    // 409 readings: reading 409 alone on page 2, under the header block and a heading.
    pdf = Report(Image(std::vector(409, kInRange)));
    ASSERT_EQ(pdf.pages.size(), 2u);
    EXPECT_TRUE(Has(pdf.bytes, "/Kids [10 0 R 20 0 R ]\n/Count 2\n"));
    EXPECT_TRUE(Has(pdf.bytes, "/Size 22\n"));
    EXPECT_EQ(TableLines(pdf.pages[1]).first, std::vector<std::string>{"409 25 750"});
    EXPECT_TRUE(Has(pdf.pages[1], "[(KELTRIX)] TJ"));
    EXPECT_EQ(Occurrences(pdf.pages[1], "[(Hora)] TJ"), 1);
    EXPECT_TRUE(Has(pdf.text, "Pagina 2/2"));

    // No readings: one page with the header block and the headings of column 0.
    pdf = Report(Image({}));
    ASSERT_EQ(pdf.pages.size(), 1u);
    EXPECT_TRUE(Has(pdf.text, "Configuracoes:"));
    EXPECT_TRUE(Has(pdf.text, "N Hora Data T(°C)"));
    EXPECT_TRUE(TableLines(pdf.pages[0]).first.empty());
}

TEST_F(TableReportTest, AlarmColouring) {
    const int low = AdForTenths(-100);  // equal to the lower threshold
    const int high = AdForTenths(250);  // equal to the upper threshold
    // Alarm delay 300 s at 60 s: five out-of-range readings stay black, the sixth is red,
    // and an in-range reading resets the count.
    const std::vector<int> readings = {kBelow, kBelow, low,      high,   kBelow,
                                       kBelow, high,   kInRange, kBelow, kBelow};
    EXPECT_EQ(TableLines(Report(Image(readings, 60, 300)).pages.at(0)).second, "0000011000");
    // An alarm delay shorter than the interval, or an interval of 0: every out-of-range
    // reading is red at once.
    for (const auto& [rate, delay] : {std::pair{60, 30}, std::pair{0, 300}}) {
        const CheckedPdf pdf = Report(Image({kBelow, kInRange, high}, rate, delay));
        EXPECT_EQ(TableLines(pdf.pages.at(0)).second, "101");
    }
}

TEST_F(TableReportTest, HeaderFooterAndFiles) {
    // Started 3 March 2025 10:00:00 at 60 s, shifted to GMT-3: reading 1 at 07:01:00.
    // Parentheses, a backslash and a character outside ASCII in the path.
    MemoryImage image = BuildImage({.start = {0, 0, 10, 3, 3, 2025},
                                    .t_low_ad = AdForTenths(0),
                                    .serial = 16777214,
                                    .readings = {AdForTenths(45)}},
                                   90);
    const std::string head = FreshPath("");
    const std::string path = head + "rel\xC3\xB3rio (1)\\c.pdf";
    CheckedPdf pdf = Report(image, path);
    EXPECT_TRUE(Has(pdf.text, path));
    EXPECT_TRUE(Has(pdf.pages.at(0), "BT\n/F4 6 Tf 0 0 0 rg\n0 Tc 0 Tw 25 20 TD\n[(" +
                                         PdfStringText(head) +
                                         "rel\x97rio \\(1\\)\\\\c.pdf)] "
                                         "TJ\n270 0 TD\n[(Pagina 1/1)]TJ\nET\n"));
    EXPECT_TRUE(Has(pdf.pages[0],
                    "BT\n/F4 6 Tf 0 0 0 rg\n0 Tc 0 Tw 25 750 TD\n[(1)] TJ\n20 0 TD\n"
                    "[(07:01:00)] TJ\n34 0 TD\n[(03.03.25)] TJ\n34 0 TD\n[(4.5)] TJ\nET\n"));
    for (const char* shown :
         {"KELTRIX Serial #: 16777214", "fora da faixa: 1min 30s",
          "Temperatura inferior para alarme: 0.0°C Temperatura superior para alarme: 25.0°C "
          "Todos os tempos sao mostrados em GMT -3"}) {
        EXPECT_TRUE(Has(pdf.text, shown)) << shown;
    }

    // Fahrenheit: the thresholds follow the unit, the heading and the readings do not.
    // The data window's check box keeps the card's GMT times.
    image[OFF_FLAGS] |= FLAG_FAHRENHEIT;
    windows.open_windows = {WindowId::Data};
    windows.SetChecked(WindowId::Data, CB_CONVERTER_HORARIO_LOCAL, true);
    pdf = Report(image);
    for (const char* shown :
         {"T(°C)", "1 10:01:00 03.03.25 4.5",
          "Temperatura inferior para alarme: 32.0°F Temperatura superior para alarme: 77.0°F "
          "Todos os tempos sao mostrados em GMT-0"}) {
        EXPECT_TRUE(Has(pdf.text, shown)) << shown;
    }

    windows.dialog_path.reset();  // cancelled: nothing written
    EXPECT_FALSE(PdfData(WindowId::Data, Image({kInRange})));
    EXPECT_TRUE(windows.Messages().empty());
    // A file that cannot be created is reported, not passed over.
    windows.dialog_path = FreshPath("no-such-dir") + "/report.pdf";
    EXPECT_FALSE(PdfData(WindowId::Data, Image({kInRange})));
    ASSERT_EQ(windows.Messages().size(), 1u);
    EXPECT_EQ(windows.Messages()[0].caption, "Erro");
    EXPECT_TRUE(Has(windows.Messages()[0].text, "Não foi possível gravar o arquivo"));
}

TEST_F(TableReportTest, FullImageIsQuickAndClamped) {
    // A header that declares more readings than the image holds is clamped to 32640.
    MemoryImage image = Image(std::vector(MAX_IMAGE_READINGS, kInRange));
    PutBigEndian16(&image[OFF_LOG_COUNT], 0xFFFF);
    windows.dialog_path = FreshPath("full.pdf");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(PdfData(WindowId::Data, image));
    const auto elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("table report of %d readings: %.1f ms\n", MAX_IMAGE_READINGS, elapsed);
    EXPECT_LT(elapsed, 1000.0);  // generous for sanitizer builds on a shared machine
    const CheckedPdf pdf = CheckPdf(*windows.dialog_path);
    EXPECT_EQ(pdf.pages.size(), 80u);
    EXPECT_TRUE(Has(pdf.text, "\n32640 "));
}

}  // namespace
