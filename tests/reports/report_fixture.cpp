#include "reports/report_fixture.h"

#include <regex>

#include "reports/pdf.h"
#include "reports/pdf_graph.h"
#include "sensor/temp.h"

int AdForTenths(int tenths) {
    for (int ad = 0; ad < 1024; ++ad) {
        if (ADToTemp_x10(ad) == tenths) {
            return ad;
        }
    }
    return -1;
}

MadeReport MakeReport(ReportKind kind, const MemoryImage& image, RecordingWindowLayer& windows,
                      const std::string& path) {
    MadeReport made;
    made.path = path.empty() ? FreshPath("report.pdf") : path;
    windows.dialog_path = made.path;
    made.written = kind == ReportKind::Table ? PdfData(WindowId::Data, image)
                                             : PdfData_g(WindowId::Data, image);
    if (made.written) {
        made.pdf = CheckPdf(made.path);
    }
    return made;
}

std::map<int, TableLine> TableLines(const std::string& page) {
    static const std::regex line(
        R"(BT\n/F4 6 Tf ([01]) 0 0 rg\n0 Tc 0 Tw (\d+) (\d+) TD\n\[\((\d+)\)\] TJ\n)");
    std::map<int, TableLine> lines;
    for (std::sregex_iterator it(page.begin(), page.end(), line), end; it != end; ++it) {
        lines[std::stoi((*it)[4])] = {(*it)[1] == "1", std::stoi((*it)[2]), std::stoi((*it)[3])};
    }
    return lines;
}
