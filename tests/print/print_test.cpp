// The printout: its lines, the PDF drawn from them, what "Imprimir" prints, a failing printer.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <regex>

#include "app/export_command.h"
#include "app/save_data_command.h"
#include "files/file.h"
#include "print/print_pages.h"
#include "print/printout.h"
#include "reports/pdf.h"
#include "support/pdf_check.h"
#include "support/recording_window_layer.h"
#include "ui/print_dialog.h"

namespace {

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

const Word* Find(const PdfPage& page, const std::string& text) {
    const auto found =
        std::find_if(page.begin(), page.end(), [&](const Word& word) { return word.text == text; });
    return found == page.end() ? nullptr : &*found;
}

TEST(PrintoutTest, PagesOfHeadingEightyEightLinesAndSerialFooter) {
    const Printout two = ReadingsPrintout(ImageWith(89));
    ASSERT_EQ(two.size(), 2u);
    ASSERT_EQ(two[1].size(), 93u);
    EXPECT_EQ(two[1][1], "\t\t\t\t\t(°C)\t(°C)\t(°C)");
    EXPECT_EQ(two[1][91], "Serial: #1234");
    // The card's own times: no shift to Brasília time.
    EXPECT_EQ(two[0][90], "88\t11:28:00\t05.03.14\t4.5\t-10.0\t25.0\t");
    EXPECT_EQ(two[1][3], "89\t11:29:00\t05.03.14\t4.5\t-10.0\t25.0\t");
    EXPECT_EQ(std::count(two[1].begin() + 3, two[1].begin() + 91, " "), 87);
}

TEST(PrintoutTest, TextFileEveryLineWrappedUnderTheHeadingWithItsPath) {
    // No header line, CR LF, Windows-1252, no last line feed; wrapped at 100 letters.
    const std::string long_line(150, '\xE3');
    const Printout printout = TextFilePrintout(
        "0\tprimeira\n" + long_line + "\r\nfim sem quebra \xE7\xE3o", "/tmp/planilha.xls");
    ASSERT_EQ(printout.size(), 1u);
    const PrintPage& page = printout[0];
    ASSERT_EQ(page.size(), 93u);
    EXPECT_EQ(page[3], "0\tprimeira");
    std::string accented;
    while (accented.size() < 200) {
        accented += "ã";
    }
    EXPECT_EQ(page[4], accented);
    EXPECT_EQ(page[5], accented.substr(0, 100));
    EXPECT_EQ(page[6], "fim sem quebra ção");
    EXPECT_EQ(page[92], "/tmp/planilha.xls");
    EXPECT_EQ(TextFilePrintout(std::string(177, '\n'), "a.xls").size(), 3u);
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
    EXPECT_EQ(printed()[0][92], *windows.dialog_path);

    windows.dialog_path = FreshPath("apagada.xls");
    EXPECT_TRUE(ChooseFileToSave(WindowId::Data, ExcelFileFilter()));
    EXPECT_EQ(printed(), readings) << "a file that cannot be read";

    windows.dialog_path = FreshPath("planilha.xls");
    ChooseFileToSave(WindowId::Data, ExcelFileFilter());
    ForgetLastChosenFile();  // what "Ler" does
    EXPECT_EQ(printed(), readings) << "after a card read";
}

TEST(PrintFileTest, PagesHeadingColumnsAndFooterInThePdf) {
    const std::string path = FreshPath("impressao.pdf");
    ASSERT_TRUE(PrintToPdfFile(ReadingsPrintout(ImageWith(89)), path));
    const std::vector<PdfPage> pages = Words(path);
    ASSERT_EQ(pages.size(), 2u);
    // The footer stands on line 92 whatever the page holds: the blank lines fill it.
    const Word* last_serial = Find(pages[1], "#1234");
    ASSERT_NE(last_serial, nullptr);
    EXPECT_NEAR(last_serial->y, Find(pages[0], "#1234")->y, 0.01);
    EXPECT_GT(last_serial->y, 780);
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
    const double pitch = (Find(page, "88")->y - row[0]->y) / 87;
    EXPECT_NEAR(Find(page, "#1234")->y - Find(page, "88")->y, pitch, 0.01);
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
        EXPECT_NE(Find(pages[0], "176"), nullptr);
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(FreshPath("sem") + "/pasta/x.pdf"));
    EXPECT_FALSE(PrintJob(printer, printout));
    const std::vector<RecordedMessage> messages = windows.Messages();
    ASSERT_EQ(messages.size(), 1u) << "one message for the job, not one a line";
    EXPECT_EQ(messages[0].text, MSG_PRINTER_PROBLEM);
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
