#include "support/pdf_check.h"

#include <unistd.h>

#include <algorithm>
#include <ranges>
#include <regex>

#include "reports/pdf.h"
#include "reports/pdf_graph.h"
#include "sensor/temp.h"

std::string FreshPath(const std::string& file_name) {
    static int counter = 0;
    return ::testing::TempDir() + "razurozavi-pdf-" + std::to_string(::getpid()) + "-" +
           std::to_string(++counter) + "-" + file_name;
}

int Occurrences(const std::string& haystack, const std::string& needle) {
    int count = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

CheckedPdf CheckPdf(const std::string& path) {
    CheckedPdf pdf;
    const std::string& bytes = pdf.bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes.rfind("%PDF-1.1\n", 0), 0u);
    EXPECT_TRUE(bytes.ends_with("%%EOF\n"));
    static const std::regex stream_head(R"((\d+) 0 obj\n<<\n/Length (\d+)\n>>\nstream\n)");
    for (std::sregex_iterator it(bytes.begin(), bytes.end(), stream_head), end; it != end; ++it) {
        const std::size_t start = it->position() + it->length();
        const std::string content = bytes.substr(start, std::stoul((*it)[2]));
        EXPECT_EQ(bytes.compare(start + content.size(), 17, "endstream\nendobj\n"), 0) << (*it)[1];
        EXPECT_EQ(Occurrences(content, "BT\n"), Occurrences(content, "ET\n")) << (*it)[1];
        pdf.pages.push_back(content);
    }
    const ShellResult check = RunShell("qpdf --check " + ShellQuote(path));
    EXPECT_EQ(check.status, 0) << check.output;  // 3 with warnings
    const ShellResult text = RunShell("pdftotext -raw " + ShellQuote(path) + " -");
    EXPECT_EQ(text.status, 0) << text.output;
    EXPECT_FALSE(Has(text.output, "Error")) << text.output;
    pdf.text = text.output;
    return pdf;
}

int AdForTenths(int tenths) {
    const auto ads = std::views::iota(0, 1024);
    return *std::ranges::find_if(ads, [&](int ad) { return ADToTemp_x10(ad) == tenths; });
}

MemoryImage BuildImage(const ImageSpec& spec, int alarm_delay) {
    MemoryImage image = BuildImage(spec);
    PutBigEndian16(&image[OFF_ALARM_DELAY], alarm_delay);
    return image;
}

CheckedPdf ReportTest::Report(const MemoryImage& image, const std::string& path, TimeBase base) {
    const std::string file = path.empty() ? FreshPath("report.pdf") : path;
    std::string reason;
    const bool written = graph ? WriteGraphReportFile(file, image, base, &reason)
                               : WriteTableReportFile(file, image, base, &reason);
    EXPECT_TRUE(written) << reason;
    return written ? CheckPdf(file) : CheckedPdf{};
}
