#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "files/digest.h"
#include "files/integrity.h"
#include "files/ledger.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

const std::string kData = "4711/20261207-011000.mvta";
const std::string kGraph = "4711/20261207-011000-grafico.pdf";
const std::string kSummary = "4711/20261207-011000-resumo.pdf";

ShellResult Cli(const std::string& arguments) {
    return RunShell(ShellQuote(RAZUROZAVI_CLI) + " " + arguments);
}

void Record(const std::string& action, const std::string& file) {
    std::string reason;
    ASSERT_TRUE(AppendLedgerLine("arquivo", {action, 4711, file, {}}, &reason)) << reason;
}

// "arquivo": a data file and two reports of it, each with its ledger line.
class VerifyCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories("arquivo/4711");
        std::filesystem::copy_file(std::string(RAZUROZAVI_TEST_DATA) + "/sample.mvta",
                                   "arquivo/" + kData);
        Record("archive", kData);
        ASSERT_EQ(Cli("pdf-graph arquivo/" + kData + " arquivo/" + kGraph).status, 0);
        Record("report", kGraph);
        ASSERT_EQ(Cli("summary arquivo/" + kData + " --pdf arquivo/" + kSummary).status, 0);
        Record("report", kSummary);
    }

    // The data file with one digit changed, still a file the program opens.
    void ChangeOneByteOfTheData() {
        std::string bytes = ReadFileBytes("arquivo/" + kData);
        bytes[bytes.size() - 1] = bytes.back() == '0' ? '1' : '0';
        WriteFileBytes("arquivo/" + kData, bytes);
    }

    std::vector<std::string> LedgerLines() {
        std::vector<std::string> lines;
        std::istringstream in(ReadFileBytes("arquivo/registro.jsonl"));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line + "\n");
        }
        return lines;
    }

    TempWorkingDir dir;
};

TEST_F(VerifyCommandTest, AnArchiveItsFilesAndTheirCopiesVerify) {
    ShellResult run = Cli("verify arquivo");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output,
              "ok arquivo/" + kData + "\nok arquivo/" + kGraph + "\nok arquivo/" + kSummary + "\n");
    // The check is an event of the archive, chained like any other.
    const std::vector<std::string> lines = LedgerLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[3].find("\"details\":{\"ok\":3,\"alterado\":0,"), std::string::npos)
        << lines[3];
    // The ledger is found in the folders above.
    run = Cli("verify " + ShellQuote(dir.File("arquivo/" + kSummary)));
    EXPECT_EQ(run.output, "ok " + dir.File("arquivo/" + kSummary) + "\n");
    // The report handed to an auditor, away from the archive.
    std::filesystem::copy_file("arquivo/" + kGraph, "entregue.pdf");
    EXPECT_EQ(Cli("verify entregue.pdf --archive arquivo").output, "ok entregue.pdf\n");
    EXPECT_EQ(Cli("verify entregue.pdf").output, "desconhecido entregue.pdf\n");
}

TEST_F(VerifyCommandTest, OneChangedByteOfTheDataIsFoundOutAndSoIsAReportOfIt) {
    ChangeOneByteOfTheData();
    ShellResult run = Cli("verify arquivo");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "alterado arquivo/" + kData + "\nok arquivo/" + kGraph + "\nok arquivo/" +
                              kSummary + "\n");
    // A report of the changed data, even recorded as a report, is not of the recorded data.
    ASSERT_EQ(Cli("summary arquivo/" + kData + " --pdf arquivo/4711/novo-resumo.pdf").status, 0);
    Record("report", "4711/novo-resumo.pdf");
    run = Cli("verify arquivo/4711/novo-resumo.pdf");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "alterado arquivo/4711/novo-resumo.pdf\n");
}

TEST_F(VerifyCommandTest, ALedgerLineEditedOrRemovedBreaksTheChainAtThatLine) {
    const std::vector<std::string> lines = LedgerLines();
    ASSERT_EQ(lines.size(), 3u);
    std::string edited = lines[1];
    edited.replace(edited.find("\"report\""), 8, "\"upload\"");
    WriteFileBytes("arquivo/registro.jsonl", lines[0] + edited + lines[2]);
    ShellResult run = Cli("verify arquivo");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output.find("cadeia-quebrada 2\n"), 0u) << run.output;

    WriteFileBytes("arquivo/registro.jsonl", lines[0] + lines[2]);
    run = Cli("verify arquivo/" + kData);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "cadeia-quebrada 2\nok arquivo/" + kData + "\n");
}

TEST_F(VerifyCommandTest, AFileNeverArchivedIsUnknown) {
    ChangeOneByteOfTheData();
    std::filesystem::copy_file("arquivo/" + kData, "avulso.mvta");
    ShellResult run = Cli("verify avulso.mvta --archive arquivo");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "desconhecido avulso.mvta\n");
    EXPECT_EQ(Cli("verify nada.mvta").status, 1);
}

TEST(ReportDataDigest, IsReadOnlyFromAWholeKeywordsEntry) {
    const std::string digest = Sha256Hex("data");
    EXPECT_EQ(ReportDataSha256("<<\n/Keywords (sha256:" + digest + ")\n>>"), digest);
    EXPECT_FALSE(ReportDataSha256("/Keywords (sha256:" + digest.substr(1) + ")"));
    EXPECT_FALSE(ReportDataSha256("/Keywords (sha256:" + digest + "0)"));
    EXPECT_FALSE(ReportDataSha256("/Keywords (md5:" + digest + ")"));
}

}  // namespace
