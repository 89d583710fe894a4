#include <gtest/gtest.h>

#include <filesystem>

#include "support/pdf_check.h"

namespace {
const std::string kSample = ShellQuote(std::string(RAZUROZAVI_TEST_DATA) + "/sample.mvta");

ShellResult Cli(const std::string& arguments) {
    return RunShell(ShellQuote(RAZUROZAVI_CLI) + " " + arguments);
}

TEST(ReportCommandsTest, ReportsOfTheSampleRecordingAndRefusals) {
    for (const std::string command : {"pdf-table", "pdf-graph"}) {
        const std::string path = FreshPath(command + ".pdf");  // given relative, shown absolute
        const std::string arguments = command + " " + kSample + " " +
                                      ShellQuote(std::filesystem::relative(path).string()) +
                                      " --now '2026-12-05 05:09:07'";
        ASSERT_EQ(Cli(arguments).status, 0);
        const CheckedPdf pdf = CheckPdf(path);
        EXPECT_TRUE(Has(pdf.text, path)) << command;
        ASSERT_EQ(Cli(arguments).status, 0);
        EXPECT_EQ(ReadFileBytes(path), pdf.bytes) << command << " is not reproducible";
        ASSERT_EQ(Cli(arguments + " --gmt0").status, 0);
        EXPECT_TRUE(Has(CheckPdf(path).text, "GMT-0"));
    }
    const std::string path = FreshPath("out.pdf");
    EXPECT_EQ(Cli("pdf-table " + kSample + " " + ShellQuote(path) + " --now yesterday").status, 2);
    const ShellResult run =
        Cli("pdf-graph " + kSample + " " + ShellQuote(FreshPath("missing") + "/dir/out.pdf"));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.output, "Erro: Não foi possível gravar o arquivo")) << run.output;
    EXPECT_FALSE(std::filesystem::exists(path));
}
}  // namespace
