// The printout: its pages as lines, the PDF print file drawn from them, what "Imprimir"
// chooses to print, and a printer that cannot be drawn on.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <regex>

#include "app/export_command.h"
#include "app/report_commands.h"
#include "app/save_data_command.h"
#include "files/file.h"
#include "print/print_pages.h"
#include "print/printout.h"
#include "reports/pdf.h"
#include "support/pdf_check.h"
#include "support/recording_window_layer.h"
#include "ui/print_dialog.h"

namespace {

const std::string kHeading1 = "Num\tHora\t\tData\t\tT\tTinf\tTsup";
const std::string kHeading2 = "\t\t\t\t\t(°C)\t(°C)\t(°C)";

// Started 5 March 2014 at 10:00:00, one reading a minute, all at 4.5 °C.
MemoryImage ImageWith(int readings) {
    ImageSpec spec;
    spec.readings.assign(static_cast<std::size_t>(readings), AdForTenths(45));
    return BuildImage(spec);
}

struct Word {
    double x, y;
    std::string text;
};
using PdfPage = std::vector<Word>;

// Every word of every page with its left edge and baseline side, from pdftotext -bbox.
std::vector<PdfPage> Words(const std::string& path) {
    const ShellResult run = RunShell("pdftotext -bbox " + ShellQuote(path) + " -");
    EXPECT_EQ(run.status, 0) << run.output;
    std::vector<PdfPage> pages;
    static const std::regex item(
        R"re(<page |<word xMin="([0-9.]+)" yMin="[0-9.]+" xMax="[0-9.]+" yMax="([0-9.]+)">([^<]*)</word>)re");
    for (std::sregex_iterator it(run.output.begin(), run.output.end(), item), end; it != end;
         ++it) {
        if ((*it)[1].length() == 0) {
            pages.emplace_back();
        } else if (!pages.empty()) {
            pages.back().push_back({std::stod((*it)[1]), std::stod((*it)[2]), (*it)[3]});
        }
    }
    return pages;
}

const Word* Find(const PdfPage& page, const std::string& text, std::size_t nth = 0) {
    for (const Word& word : page) {
        if (word.text == text && nth-- == 0) {
            return &word;
        }
    }
    return nullptr;
}

// The page count, the heading and the footer's place are the PDF test's; here, what is on
// each line.
TEST(PrintoutTest, PagesOfHeadingEightyEightLinesAndSerialFooter) {
    const Printout two = ReadingsPrintout(ImageWith(89));
    ASSERT_EQ(two.size(), 2u);
    for (const PrintPage& page : two) {
        ASSERT_EQ(page.size(), 93u);
        EXPECT_EQ(page[0], kHeading1);
        EXPECT_EQ(page[1], kHeading2);
        EXPECT_EQ(page[91], "Serial: #1234");
    }
    // The card's own times: no shift to Brasília time.
    EXPECT_EQ(two[0][3], "1\t10:01:00\t05.03.14\t4.5\t-10.0\t25.0\t");
    EXPECT_EQ(two[0][90], "88\t11:28:00\t05.03.14\t4.5\t-10.0\t25.0\t");
    EXPECT_EQ(two[1][3], "89\t11:29:00\t05.03.14\t4.5\t-10.0\t25.0\t");
    EXPECT_EQ(std::count(two[1].begin() + 3, two[1].begin() + 91, " "), 87);
}

TEST(PrintoutTest, TextFileEveryLineWrappedUnderTheHeadingWithItsPath) {
    // A first line is a reading too (a spreadsheet has no header); the last one may lack its
    // line feed; Windows line ends and Windows-1252 text are read as such, and wrapped at
    // 100 letters, not bytes.
    const std::string long_line(150, '\xE3');
    const Printout printout = TextFilePrintout(
        "0\tprimeira\n" + long_line + "\r\nfim sem quebra \xE7\xE3o", "/tmp/planilha.xls");
    ASSERT_EQ(printout.size(), 1u);
    const PrintPage& page = printout[0];
    ASSERT_EQ(page.size(), 93u);
    EXPECT_EQ(page[0], kHeading1);
    EXPECT_EQ(page[3], "0\tprimeira");
    std::string accented;
    for (int k = 0; k < 50; ++k) {
        accented += "ã";
    }
    EXPECT_EQ(page[4], accented + accented);
    EXPECT_EQ(page[5], accented);
    EXPECT_EQ(page[6], "fim sem quebra ção");
    EXPECT_EQ(page[7], " ");
    EXPECT_EQ(page[92], "/tmp/planilha.xls");

    const Printout many = TextFilePrintout(std::string(177, '\n'), "a.xls");
    EXPECT_EQ(many.size(), 3u);
}

TEST(PrintoutTest, ImprimirPrintsTheImageUnlessASpreadsheetWasChosenLast) {
    RecordingWindowLayer windows;
    const MemoryImage image = ImageWith(3);
    const Printout readings = ReadingsPrintout(image);
    auto printed = [&] { return DataWindowPrintout(image, LastChosenFile()); };

    windows.dialog_path = FreshPath("dados.mvta");
    ASSERT_TRUE(SaveDataFromDataWindow(image));
    EXPECT_EQ(printed(), readings) << "a data file, one run of digits";

    windows.dialog_path = FreshPath("planilha.xls");
    ASSERT_TRUE(ExcelData(WindowId::Data, image));
    const Printout sheet = printed();
    ASSERT_NE(sheet, readings);
    EXPECT_EQ(sheet[0][3], ReadFileBytes(*windows.dialog_path).substr(0, 35));
    EXPECT_EQ(sheet[0][92], *windows.dialog_path);

    windows.dialog_path = FreshPath("relatorio.pdf");
    ASSERT_TRUE(PdfData(WindowId::Data, image));
    EXPECT_EQ(printed(), readings) << "a PDF report";

    windows.dialog_path = FreshPath("config.mcfg");
    WriteFileBytes(*windows.dialog_path, std::string(14, '\n') + std::string(21, '\0'));
    EXPECT_TRUE(ChooseFileToOpen(WindowId::Main, ConfigFileFilter()));
    EXPECT_EQ(printed(), readings) << "a configuration file";

    windows.dialog_path = FreshPath("apagada.xls");
    EXPECT_TRUE(ChooseFileToSave(WindowId::Data, ExcelFileFilter()));
    EXPECT_EQ(printed(), readings) << "a file that cannot be read";

    windows.dialog_path = FreshPath("planilha.xls");
    ChooseFileToSave(WindowId::Data, ExcelFileFilter());
    ForgetLastChosenFile();  // what "Ler" does
    EXPECT_EQ(printed(), readings) << "after a card read";
}

TEST(PrintFileTest, PagesHeadingColumnsAndFooterInThePdf) {
    struct Case {
        int readings;
        int pages;
    };
    for (const Case c : {Case{88, 1}, Case{89, 2}, Case{0, 1}}) {
        SCOPED_TRACE(c.readings);
        const std::string path = FreshPath("impressao.pdf");
        ASSERT_TRUE(PrintToPdfFile(ReadingsPrintout(ImageWith(c.readings)), path));
        const std::vector<PdfPage> pages = Words(path);
        ASSERT_EQ(static_cast<int>(pages.size()), c.pages);
        const Word* first_serial = nullptr;
        for (const PdfPage& page : pages) {
            EXPECT_NE(Find(page, "(°C)", 2), nullptr);
            const Word* serial = Find(page, "#1234");
            ASSERT_NE(serial, nullptr);
            // The footer stands on line 92 whatever the page holds: the blank lines fill it.
            first_serial = first_serial ? first_serial : serial;
            EXPECT_NEAR(serial->y, first_serial->y, 0.01);
            EXPECT_GT(serial->y, 780);
            EXPECT_LT(serial->y, 842);
        }
        if (c.readings == 0) {
            EXPECT_EQ(pages[0].size(), 11u) << "heading and footer only";
            continue;
        }
        // Each field under its heading, the last reading of a page right above the footer.
        const PdfPage& page = pages[0];
        const Word* row[] = {Find(page, "1"),   Find(page, "10:01:00"), Find(page, "05.03.14"),
                             Find(page, "4.5"), Find(page, "-10.0"),    Find(page, "25.0")};
        const char* headings[] = {"Num", "Hora", "Data", "T", "Tinf", "Tsup"};
        for (int k = 0; k < 6; ++k) {
            ASSERT_NE(row[k], nullptr) << k;
            EXPECT_NEAR(row[k]->x, Find(page, headings[k])->x, 0.01) << headings[k];
            EXPECT_NEAR(row[k]->y, row[0]->y, 0.01);
        }
        EXPECT_NEAR(Find(page, "(°C)")->x, Find(page, "T")->x, 0.01);
        const double pitch = (Find(page, "88")->y - row[0]->y) / 87;
        EXPECT_GT(pitch, 8.5);
        EXPECT_LE(pitch, 9.0);
        EXPECT_NEAR(Find(page, "#1234")->y - Find(page, "88")->y, pitch, 0.01);
    }
}

TEST(PrintFileTest, ChosenPageRangeAndOneMessageWhenThePrinterFails) {
    RecordingWindowLayer windows;
    const Printout printout = ReadingsPrintout(ImageWith(200));
    {
        QPrinter printer(QPrinter::HighResolution);
        SetUpPrinter(printer);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const std::string path = FreshPath("pagina2.pdf");
        printer.setOutputFileName(QString::fromStdString(path));
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 2);
        ASSERT_TRUE(PrintJob(printer, printout));
        const std::vector<PdfPage> pages = Words(path);
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_NE(Find(pages[0], "89"), nullptr);
        EXPECT_NE(Find(pages[0], "176"), nullptr);
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(FreshPath("sem") + "/pasta/x.pdf"));
    EXPECT_FALSE(PrintJob(printer, printout));
    const std::vector<RecordedMessage> messages = windows.Messages();
    ASSERT_EQ(messages.size(), 1u) << "one message for the job, not one a line";
    EXPECT_EQ(messages[0].text, MSG_PRINTER_PROBLEM);
    EXPECT_EQ(messages[0].caption, "");
}

TEST(PrintFileTest, DialogOffersEveryPageAndOneJobRunsAtATime) {
    RecordingWindowLayer windows;
    ForgetLastChosenFile();
    const MemoryImage image = ImageWith(89);
    bool second_job_refused = false;
    int pages_offered = 0;
    QTimer::singleShot(50, [&] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        pages_offered = dialog->maxPage();
        second_job_refused = !PrintFromDataWindow(nullptr, image);
        dialog->reject();
    });
    EXPECT_FALSE(PrintFromDataWindow(nullptr, image)) << "cancelled";
    EXPECT_EQ(pages_offered, 2);
    EXPECT_TRUE(second_job_refused);
    EXPECT_TRUE(windows.Messages().empty());
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {  // the build lists the tests without a platform
        return RUN_ALL_TESTS();
    }
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
