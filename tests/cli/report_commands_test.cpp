#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/locales.h"
#include "support/pdf_check.h"

namespace {
const std::string kSample = ShellQuote(std::string(RAZUROZAVI_TEST_DATA) + "/sample.mvta");

ShellResult Cli(const std::string& arguments) {
    return RunShell(ShellQuote(RAZUROZAVI_CLI) + " " + arguments);
}

// Each report given a relative path, shown absolute in its footer, dated by --now and
// the same bytes when made again.
TEST(ReportCommandsTest, ReportsOfTheSampleRecordingAndRefusals) {
    for (const std::string& command :
         {"pdf-table " + kSample, "pdf-graph " + kSample, "summary " + kSample + " --pdf"}) {
        const std::string path = FreshPath("report.pdf");
        const std::string arguments = command + " " +
                                      ShellQuote(std::filesystem::relative(path).string()) +
                                      " --now '2026-12-05 05:09:07'";
        ASSERT_EQ(Cli(arguments).status, 0) << command;
        const CheckedPdf pdf = CheckPdf(path);
        EXPECT_TRUE(Has(pdf.text, path)) << command;
        EXPECT_TRUE(Has(pdf.text, "GMT -3")) << command;
        EXPECT_TRUE(Has(pdf.bytes, "/CreationDate (D:20261205050907")) << command;
        ASSERT_EQ(Cli(arguments).status, 0);
        EXPECT_EQ(ReadFileBytes(path), pdf.bytes) << command << " is not reproducible";
        ASSERT_EQ(Cli(arguments + " --gmt0").status, 0);
        EXPECT_TRUE(Has(CheckPdf(path).text, "GMT-0")) << command;
        const ShellResult run = Cli(command + " " + ShellQuote(FreshPath("sem") + "/pasta/x.pdf"));
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_TRUE(Has(run.output, "Erro: Não foi possível gravar o arquivo")) << run.output;
    }
}

TEST(ReportCommandsTest, PrintRendersThePrintoutWithoutADisplay) {
    const std::string path = FreshPath("impressao.pdf");
    const ShellResult run =
        RunShell("env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY " +
                 ShellQuote(RAZUROZAVI_CLI) + " print " + kSample + " " + ShellQuote(path));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");
    const int readings = Occurrences(Cli("list " + kSample).output, "\n");
    const std::string text = RunShell("pdftotext -layout " + ShellQuote(path) + " -").output;
    EXPECT_EQ(Occurrences(text, "Serial: #"), (readings + 87) / 88);
    // Each reading's fields in order, with the card's own times (the list's --gmt0 ones).
    const std::string card_time = Cli("list " + kSample + " --gmt0").output;
    std::string row = "\n *";
    for (const char c : card_time.substr(0, card_time.find("\t\n"))) {
        row += c == '\t' ? std::string(" +") : c == '.' ? std::string("\\.") : std::string(1, c);
    }
    EXPECT_TRUE(std::regex_search(text, std::regex(row))) << row;
    EXPECT_NE(Cli("list " + kSample).output, card_time) << "the sample is shifted in the list";

    const ShellResult unwritable =
        Cli("print " + kSample + " " + ShellQuote(FreshPath("sem") + "/pasta/x.pdf"));
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(Has(unwritable.output, "Erro: Não foi possível gravar o arquivo"))
        << unwritable.output;
    const ShellResult refused = Cli("print " + ShellQuote(path) + " " + ShellQuote(path));
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Has(refused.output, "Erro: Arquivo Inválido")) << refused.output;
}
// The print command runs the companion built with Qt, which takes the user's locale; the
// reports' writers are checked in the users' locales with the desktop program's.
TEST(ReportCommandsTest, ThePrintoutIsTheSameInTheUsersLocales) {
    const auto printout = [](const std::string& environment) {
        const std::string printed = FreshPath("impressao.pdf");
        EXPECT_EQ(RunShell(environment + " " + ShellQuote(RAZUROZAVI_CLI) + " print " + kSample +
                           " " + ShellQuote(printed))
                      .status,
                  0);
        return RunShell("pdftotext -layout " + ShellQuote(printed) + " -").output;
    };
    const std::string in_c = printout("env LC_ALL=C");
    ASSERT_TRUE(Has(in_c, "5.0")) << "a decimal point in the printout";
    for (const char* name : kUsersLocales) {
        std::string why_not;
        const std::string environment = LocaleEnvironment(name, &why_not);
        ASSERT_FALSE(environment.empty()) << why_not;
        EXPECT_EQ(printout("env " + environment), in_c) << name;
    }
}
}  // namespace
