#include <gtest/gtest.h>

#include <filesystem>

#include "support/pdf_check.h"

namespace {

const std::string kCli = RAZUROZAVI_CLI;
const std::string kSample = std::string(RAZUROZAVI_TEST_DATA) + "/sample.mvta";

ShellResult Cli(const std::string& arguments) {
    return RunShell(ShellQuote(kCli) + " " + arguments);
}

TEST(ReportCommandsTest, ReportsOfTheSampleRecording) {
    for (const std::string command : {"pdf-table", "pdf-graph"}) {
        const std::string path = FreshPath(command + ".pdf");
        const std::string relative =
            std::filesystem::relative(path, std::filesystem::current_path()).string();
        const std::string arguments = command + " " + ShellQuote(kSample) + " " +
                                      ShellQuote(relative) + " --now '2026-12-05 05:09:07'";
        ShellResult run = Cli(arguments);
        ASSERT_EQ(run.status, 0) << run.output;
        const CheckedPdf pdf = CheckPdf(path);
        // The footer holds the absolute path, as a file dialog returns it.
        EXPECT_NE(pdf.text.find(path), std::string::npos) << command;
        EXPECT_NE(pdf.bytes.find("/CreationDate (D:20261205050907)"), std::string::npos);
        EXPECT_NE(pdf.text.find("GMT -3"), std::string::npos);

        run = Cli(arguments);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(ReadFileBytes(path), pdf.bytes) << command << " is not reproducible";

        run = Cli(arguments + " --gmt0");
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_NE(CheckPdf(path).text.find("GMT-0"), std::string::npos);
    }
}

TEST(ReportCommandsTest, Refusals) {
    const std::string out = FreshPath("out.pdf");
    ShellResult run =
        Cli("pdf-table " + ShellQuote(kSample) + " " + ShellQuote(out) + " --now yesterday");
    EXPECT_EQ(run.status, 2) << run.output;
    run = Cli("pdf-graph " + ShellQuote(kSample));
    EXPECT_EQ(run.status, 2) << run.output;

    run = Cli("pdf-graph " + ShellQuote(out) + " " + ShellQuote(out));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("Erro: Arquivo Inválido"), std::string::npos) << run.output;

    run = Cli("pdf-table " + ShellQuote(kSample) + " " +
              ShellQuote(FreshPath("missing") + "/dir/out.pdf"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("Erro: Não foi possível gravar o arquivo"), std::string::npos)
        << run.output;
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
