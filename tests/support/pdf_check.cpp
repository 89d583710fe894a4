#include "support/pdf_check.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

std::string FreshPath(const std::string& file_name) {
    static int counter = 0;
    const std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) /
        ("razurozavi-pdf-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(dir);
    return (dir / file_name).string();
}

int Occurrences(const std::string& haystack, const std::string& needle) {
    int count = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

static void ExpectSoundStructure(const std::string& bytes, std::vector<std::string>& pages) {
    ASSERT_EQ(bytes.rfind("%PDF-1.1\n", 0), 0u);
    ASSERT_GE(bytes.size(), 6u);
    EXPECT_EQ(bytes.substr(bytes.size() - 6), "%%EOF\n");
    const std::size_t startxref = bytes.rfind("startxref\n");
    ASSERT_NE(startxref, std::string::npos);
    const long long xref = std::stoll(bytes.substr(startxref + 10));
    ASSERT_EQ(bytes.compare(static_cast<std::size_t>(xref), 7, "xref\n0 "), 0);
    const int size = std::stoi(bytes.substr(static_cast<std::size_t>(xref) + 7));
    const std::size_t table = bytes.find('\n', static_cast<std::size_t>(xref) + 5) + 1;
    int highest = 0;
    for (int k = 0; k < size; ++k) {
        const std::string entry = bytes.substr(table + 20 * static_cast<std::size_t>(k), 20);
        ASSERT_EQ(entry.size(), 20u);
        if (entry[17] == 'n') {
            const std::string head = std::to_string(k) + " 0 obj\n";
            EXPECT_EQ(bytes.compare(std::stoull(entry.substr(0, 10)), head.size(), head), 0)
                << "object " << k;
            highest = k;
        }
    }
    EXPECT_EQ(size, highest + 1);
    EXPECT_NE(bytes.find("/Size " + std::to_string(size) + "\n", table), std::string::npos);

    const std::regex stream_head(R"((\d+) 0 obj\n<<\n/Length (\d+)\n>>\nstream\n)");
    for (std::sregex_iterator it(bytes.begin(), bytes.end(), stream_head), end; it != end; ++it) {
        const std::size_t start = static_cast<std::size_t>(it->position() + it->length());
        const std::size_t length = std::stoul((*it)[2]);
        EXPECT_EQ(bytes.compare(start + length, 17, "endstream\nendobj\n"), 0)
            << "stream " << (*it)[1];
        const std::string content = bytes.substr(start, length);
        EXPECT_EQ(Occurrences(content, "BT\n"), Occurrences(content, "ET\n"))
            << "stream " << (*it)[1];
        pages.push_back(content);
    }
}

CheckedPdf CheckPdf(const std::string& path) {
    CheckedPdf pdf;
    pdf.bytes = ReadFileBytes(path);
    ExpectSoundStructure(pdf.bytes, pdf.pages);
    const ShellResult check = RunShell("qpdf --check " + ShellQuote(path));
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
    const ShellResult text = RunShell("pdftotext -raw " + ShellQuote(path) + " -");
    EXPECT_EQ(text.status, 0) << text.output;
    EXPECT_EQ(text.output.find("Error"), std::string::npos) << text.output;
    pdf.text = text.output;
    return pdf;
}
