#include <gtest/gtest.h>

#include <filesystem>

#include "support/locales.h"
#include "support/pdf_check.h"

namespace {
const std::string kSample = ShellQuote(std::string(RAZUROZAVI_TEST_DATA) + "/sample.mvta");

ShellResult Cli(const std::string& arguments) {
    return RunShell(ShellQuote(RAZUROZAVI_CLI) + " " + arguments);
}

// A relative path shown absolute in the footer; dated by --now, the same bytes again.
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
        const ShellResult run = Cli(command + " " + ShellQuote(FreshPath("sem") + "/pasta/x.pdf"));
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_TRUE(Has(run.output, "Erro: Não foi possível gravar o arquivo")) << run.output;
    }
}

// `print` runs Qt, which takes the user's locale, and must need no display.
TEST(ReportCommandsTest, ThePrintoutIsTheSameInTheUsersLocales) {
    const auto printout = [](const std::string& environment) {
        const std::string printed = FreshPath("impressao.pdf");
        const ShellResult run =
            RunShell("env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY " + environment + " " +
                     ShellQuote(RAZUROZAVI_CLI) + " print " + kSample + " " + ShellQuote(printed));
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output, "");
        return RunShell("pdftotext -layout " + ShellQuote(printed) + " -").output;
    };
    const std::string in_c = printout("LC_ALL=C");
    ASSERT_TRUE(Has(in_c, "5.0")) << "a decimal point in the printout";
    for (const char* name : kUsersLocales) {
        std::string why_not;
        const std::string environment = LocaleEnvironment(name, &why_not);
        ASSERT_FALSE(environment.empty()) << why_not;
        EXPECT_EQ(printout(environment), in_c) << name;
    }
}
}  // namespace
