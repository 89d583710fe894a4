#include "reports/pdf.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "logger/clock.h"
#include "reports/report_fixture.h"

namespace {

class TableReportTest : public ::testing::Test {
  protected:
    void SetUp() override { SetFixedLocalTime(CALENDAR{7, 9, 5, 5, 12, 2026}); }
    void TearDown() override { SetFixedLocalTime(std::nullopt); }

    static MemoryImage Image(std::vector<int> readings, int sample_rate = 60, int alarm_delay = 0) {
        ImageSpec spec;
        spec.readings = std::move(readings);
        spec.sample_rate = sample_rate;
        MemoryImage image = BuildImage(spec);
        image[OFF_ALARM_DELAY] = static_cast<std::uint8_t>(alarm_delay >> 8);
        image[OFF_ALARM_DELAY + 1] = static_cast<std::uint8_t>(alarm_delay);
        return image;
    }

    RecordingWindowLayer windows;
};

const int kInRange = AdForTenths(200);  // 20.0 C, between -10.0 and 25.0
const int kBelow = AdForTenths(-150);

TEST(PdfWriterTest, TextsOfTheWriter) {
    EXPECT_EQ(SToHMinS(0), "0s");
    EXPECT_EQ(SToHMinS(90), "1min 30s");
    EXPECT_EQ(SToHMinS(125), "2min 5s");
    EXPECT_EQ(SToHMinS(600), "10min");
    EXPECT_EQ(SToHMinS(3725), "1h 2min 5s");
    EXPECT_EQ(SToHMinS(7200), "2h 0min 0s");
    EXPECT_EQ(SToHMinS(65535), "18h 12min 15s");
    // 32640 confirmed readings at the longest interval: far past 9999 hours.
    EXPECT_EQ(SToHMinS(32640LL * 65535), "594184h 0min 0s");

    EXPECT_FLOAT_EQ(ct(0.0f, true), 32.0f);
    EXPECT_FLOAT_EQ(ct(25.0f, false), 25.0f);

    EXPECT_EQ(GmtSignChar(-3), ' ');
    EXPECT_EQ(GmtSignChar(0), '-');
    EXPECT_EQ(GmtSignChar(1), '+');

    // Leading zeros kept and no hour offset.
    EXPECT_EQ(PdfDateText(CALENDAR{7, 9, 5, 5, 12, 2026}), "D:20261205050907");
    EXPECT_EQ(PdfDateText(CALENDAR{59, 59, 23, 31, 12, 2026}), "D:20261231235959");

    EXPECT_EQ(PdfStringText("C:\\a\\b.pdf"), "C:\\\\a\\\\b.pdf");
    EXPECT_EQ(PdfStringText("rel (1).pdf"), "rel \\(1\\).pdf");
    EXPECT_EQ(PdfStringText("a\nb"), "a\\012b");
    // In MacRoman: c cedilla 0x8D, degree 0xA1; the euro and a check mark are missing.
    EXPECT_EQ(PdfStringText("a\xC3\xA7\xC2\xB0"), "a\x8D\xA1");
    EXPECT_EQ(PdfStringText("\xE2\x82\xAC\xE2\x9C\x93"), "??");
    EXPECT_EQ(PdfStringText("\xC3"), "?");  // cut UTF-8
}

TEST_F(TableReportTest, DocumentSkeleton) {
    const MadeReport one = MakeReport(ReportKind::Table, Image({kInRange}), windows);
    ASSERT_TRUE(one.written);
    const std::string& bytes = one.pdf.bytes;
    EXPECT_NE(bytes.find("/CreationDate (D:20261205050907)\n/Producer (Producer)\n"
                         "/Author (Author)\n/Title (Title)\n/Creator (Creator)\n>>\nendobj\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("/Kids [10 0 R ]\n/Count 1\n"), std::string::npos);
    EXPECT_NE(bytes.find("/Contents 11 0 R\n"), std::string::npos);
    EXPECT_NE(bytes.find("/BaseFont /Helvetica\n/Encoding /MacRomanEncoding\n"), std::string::npos);
    EXPECT_NE(bytes.find("trailer\n<<\n/Size 13\n/Root 12 0 R\n/Info 1 0 R\n>>\nstartxref\n"),
              std::string::npos);
    // Objects in their order: info, resources, font, state, catalog, tree, page, stream.
    std::size_t last = 0;
    for (const char* head : {"\n1 0 obj", "\n4 0 obj", "\n5 0 obj", "\n6 0 obj", "\n12 0 obj",
                             "\n7 0 obj", "\n10 0 obj", "\n11 0 obj", "\nxref\n"}) {
        const std::size_t at = bytes.find(head);
        ASSERT_NE(at, std::string::npos) << head;
        EXPECT_GT(at, last) << head;
        last = at;
    }
    // Unused numbers are free entries chained from entry 0: 2, 3, 8, 9, then back to 0.
    EXPECT_NE(bytes.find("xref\n0 13\n0000000002 65535 f \n"), std::string::npos);
    EXPECT_NE(bytes.find("0000000003 00000 f \n0000000008 00000 f \n"), std::string::npos);
    ASSERT_EQ(one.pdf.pages.size(), 1u);
    EXPECT_EQ(one.pdf.pages[0].rfind("2 J\nBT\n/F4 10 Tf\n", 0), 0u);

    std::vector<int> readings(3 * READINGS_PER_PAGE, kInRange);
    const MadeReport three = MakeReport(ReportKind::Table, Image(readings), windows);
    EXPECT_NE(three.pdf.bytes.find("/Kids [10 0 R 20 0 R 30 0 R ]\n/Count 3\n"), std::string::npos);
    for (int stream : {11, 21, 31}) {
        EXPECT_NE(three.pdf.bytes.find(std::to_string(stream) + " 0 obj\n<<\n/Length "),
                  std::string::npos);
    }
    EXPECT_NE(three.pdf.bytes.find("/Size 32\n"), std::string::npos);
}

TEST_F(TableReportTest, PageAndColumnBoundaries) {
    // 102 readings fill column 0; column 1 gets its heading with nothing under it.
    MadeReport report = MakeReport(ReportKind::Table, Image(std::vector(102, kInRange)), windows);
    ASSERT_EQ(report.pdf.pages.size(), 1u);
    std::map<int, TableLine> lines = TableLines(report.pdf.pages[0]);
    EXPECT_EQ(lines.size(), 102u);
    EXPECT_EQ(lines[1].x, 25);
    EXPECT_EQ(lines[1].y, 750);
    EXPECT_EQ(lines[102].y, 43);
    EXPECT_EQ(Occurrences(report.pdf.pages[0], "[(Hora)] TJ"), 2);
    EXPECT_NE(report.pdf.pages[0].find("0 Tc 0 Tw 165 760 TD\n[(N)] TJ"), std::string::npos);
    EXPECT_NE(report.pdf.text.find("Pagina 1/1"), std::string::npos);

    // 408 readings: one full page and nothing after it.
    report = MakeReport(ReportKind::Table, Image(std::vector(408, kInRange)), windows);
    ASSERT_EQ(report.pdf.pages.size(), 1u);
    EXPECT_EQ(report.pdf.bytes.find("20 0 obj"), std::string::npos);
    EXPECT_EQ(Occurrences(report.pdf.pages[0], "[(Hora)] TJ"), 4);
    lines = TableLines(report.pdf.pages[0]);
    EXPECT_EQ(lines[408].x, 445);
    EXPECT_EQ(lines[408].y, 43);

    // 409 readings: reading 409 alone on page 2, under the header block and a heading.
    report = MakeReport(ReportKind::Table, Image(std::vector(409, kInRange)), windows);
    ASSERT_EQ(report.pdf.pages.size(), 2u);
    lines = TableLines(report.pdf.pages[1]);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines.begin()->first, 409);
    EXPECT_EQ(lines[409].x, 25);
    EXPECT_EQ(lines[409].y, 750);
    EXPECT_NE(report.pdf.pages[1].find("[(KELTRIX)] TJ"), std::string::npos);
    EXPECT_EQ(Occurrences(report.pdf.pages[1], "[(Hora)] TJ"), 1);
    EXPECT_NE(report.pdf.text.find("Pagina 1/2"), std::string::npos);
    EXPECT_NE(report.pdf.text.find("Pagina 2/2"), std::string::npos);

    // No readings: one page with the header block and the headings of column 0.
    report = MakeReport(ReportKind::Table, Image({}), windows);
    ASSERT_EQ(report.pdf.pages.size(), 1u);
    EXPECT_NE(report.pdf.bytes.find("/Count 1\n"), std::string::npos);
    EXPECT_NE(report.pdf.text.find("Configuracoes:"), std::string::npos);
    EXPECT_NE(report.pdf.text.find("N Hora Data T(\xC2\xB0"
                                   "C)"),
              std::string::npos);
    EXPECT_TRUE(TableLines(report.pdf.pages[0]).empty());
    EXPECT_NE(report.pdf.text.find("Pagina 1/1"), std::string::npos);
}

TEST_F(TableReportTest, AlarmColouring) {
    const int low = AdForTenths(-100);  // equal to the lower threshold
    const int high = AdForTenths(250);  // equal to the upper threshold
    // Alarm delay 300 s at 60 s: five out-of-range readings stay black, the sixth is red,
    // and an in-range reading resets the count.
    std::vector<int> readings = {kBelow, kBelow, low,      high,   kBelow,
                                 kBelow, high,   kInRange, kBelow, kBelow};
    MadeReport report = MakeReport(ReportKind::Table, Image(readings, 60, 300), windows);
    std::map<int, TableLine> lines = TableLines(report.pdf.pages.at(0));
    ASSERT_EQ(lines.size(), readings.size());
    for (int number = 1; number <= 10; ++number) {
        EXPECT_EQ(lines[number].red, number == 6 || number == 7) << number;
    }

    // An alarm delay shorter than the interval, or an interval of 0: every out-of-range
    // reading is red at once.
    for (const auto& [rate, delay] : {std::pair{60, 30}, std::pair{0, 300}}) {
        report =
            MakeReport(ReportKind::Table, Image({kBelow, kInRange, high}, rate, delay), windows);
        lines = TableLines(report.pdf.pages.at(0));
        EXPECT_TRUE(lines[1].red);
        EXPECT_FALSE(lines[2].red);
        EXPECT_TRUE(lines[3].red);
    }
}

TEST_F(TableReportTest, HeaderBlockAndReadingLines) {
    // Started 3 March 2025 10:00:00 at 60 s, shifted to GMT-3: reading 1 at 07:01:00.
    ImageSpec spec;
    spec.start = CALENDAR{0, 0, 10, 3, 3, 2025};
    spec.t_low_ad = AdForTenths(0);
    spec.readings = {AdForTenths(45)};
    spec.serial = 16777214;
    MemoryImage image = BuildImage(spec);
    image[OFF_ALARM_DELAY + 1] = 90;
    MadeReport report = MakeReport(ReportKind::Table, image, windows);
    EXPECT_NE(report.pdf.pages.at(0).find(
                  "BT\n/F4 6 Tf 0 0 0 rg\n0 Tc 0 Tw 25 750 TD\n[(1)] TJ\n20 0 TD\n"
                  "[(07:01:00)] TJ\n34 0 TD\n[(03.03.25)] TJ\n34 0 TD\n[(4.5)] TJ\nET\n"),
              std::string::npos);
    const std::string& text = report.pdf.text;
    EXPECT_NE(text.find("KELTRIX Serial #: 16777214"), std::string::npos);
    EXPECT_NE(text.find("Temperatura inferior para alarme: 0.0\xC2\xB0"
                        "C"),
              std::string::npos);
    EXPECT_NE(text.find("Todos os tempos sao mostrados em GMT -3"), std::string::npos);
    EXPECT_NE(text.find("fora da faixa: 1min 30s"), std::string::npos);

    // Fahrenheit: the thresholds follow the unit, the heading and the readings do not.
    // The data window's check box keeps the card's GMT times.
    image[OFF_FLAGS] |= FLAG_FAHRENHEIT;
    windows.open_windows = {WindowId::Data};
    windows.SetChecked(WindowId::Data, CB_CONVERTER_HORARIO_LOCAL, true);
    report = MakeReport(ReportKind::Table, image, windows);
    EXPECT_NE(report.pdf.text.find("Temperatura inferior para alarme: 32.0\xC2\xB0"
                                   "F"),
              std::string::npos);
    EXPECT_NE(report.pdf.text.find("Temperatura superior para alarme: 77.0\xC2\xB0"
                                   "F"),
              std::string::npos);
    EXPECT_NE(report.pdf.text.find("T(\xC2\xB0"
                                   "C)"),
              std::string::npos);
    EXPECT_NE(report.pdf.text.find("1 10:01:00 03.03.25 4.5"), std::string::npos);
    EXPECT_NE(report.pdf.text.find("Todos os tempos sao mostrados em GMT-0"), std::string::npos);
}

TEST_F(TableReportTest, FooterPathAndFiles) {
    // Parentheses, a backslash and a character outside ASCII in the path.
    const std::string path = FreshPath("rel\xC3\xB3rio (1)\\c.pdf");
    MadeReport report = MakeReport(ReportKind::Table, Image({kInRange}), windows, path);
    ASSERT_TRUE(report.written);
    const std::string directory = std::filesystem::path(path).parent_path().string();
    EXPECT_NE(report.pdf.pages[0].find("BT\n/F4 6 Tf 0 0 0 rg\n0 Tc 0 Tw 25 20 TD\n[(" +
                                       PdfStringText(directory) +
                                       "/rel\x97rio \\(1\\)\\\\c.pdf)] "
                                       "TJ\n270 0 TD\n[(Pagina 1/1)]TJ\nET\n"),
              std::string::npos);
    EXPECT_NE(report.pdf.text.find(path), std::string::npos);

    // Cancelled dialog: nothing written.
    windows.dialog_path.reset();
    EXPECT_FALSE(PdfData(WindowId::Data, Image({kInRange})));
    EXPECT_TRUE(windows.Messages().empty());

    // A file that cannot be created is reported, not passed over.
    report = MakeReport(ReportKind::Table, Image({kInRange}), windows,
                        FreshPath("no-such-dir") + "/report.pdf");
    EXPECT_FALSE(report.written);
    ASSERT_EQ(windows.Messages().size(), 1u);
    EXPECT_EQ(windows.Messages()[0].caption, "Erro");
    EXPECT_NE(windows.Messages()[0].text.find("Não foi possível gravar o arquivo"),
              std::string::npos);
}

TEST_F(TableReportTest, FullImageIsQuickAndReproducible) {
    // A header that declares more readings than the image holds is clamped to 32640.
    MemoryImage image = Image(std::vector(MAX_IMAGE_READINGS, kInRange));
    image[OFF_LOG_COUNT] = 0xFF;
    image[OFF_LOG_COUNT + 1] = 0xFF;
    const std::string path = FreshPath("full.pdf");
    windows.dialog_path = path;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(PdfData(WindowId::Data, image));
    const auto elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("table report of %d readings: %.1f ms\n", MAX_IMAGE_READINGS, elapsed);
    // Generous for sanitizer builds on a shared machine; the optimised build takes a
    // small fraction of it.
    EXPECT_LT(elapsed, 1000.0);
    const CheckedPdf pdf = CheckPdf(path);
    EXPECT_EQ(pdf.pages.size(), 80u);
    EXPECT_NE(pdf.text.find("Pagina 80/80"), std::string::npos);
    EXPECT_NE(pdf.text.find("\n32640 "), std::string::npos);
    EXPECT_EQ(pdf.text.find("\n32641 "), std::string::npos);

    ASSERT_TRUE(PdfData(WindowId::Data, image));
    EXPECT_EQ(ReadFileBytes(path), pdf.bytes);
}

}  // namespace
