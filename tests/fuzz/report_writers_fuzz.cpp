// Any image gives a data file, a spreadsheet and two PDFs that pass qpdf --check; the image
// sits alone on the heap so that the sanitizer sees any overrun.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "files/excel.h"
#include "files/file.h"
#include "reports/pdf.h"
#include "reports/pdf_graph.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/razurozavi-fuzz-XXXXXX";
        return std::string(::mkdtemp(pattern) != nullptr ? pattern : "/tmp");
    }();
    return folder;
}

void ExpectPdfPasses(const std::string& path) {
    const std::string command = "qpdf --check '" + path + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        std::system(("cp '" + path + "' ./failed-qpdf-check.pdf").c_str());
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input repeated: short inputs still hold readings everywhere.
    auto image = std::make_unique<MemoryImage>();
    for (std::size_t i = 0; i < image->size(); ++i) {
        (*image)[i] = size == 0 ? 0 : data[i % size];
    }
    const std::string base = Folder() + "/out";
    std::string reason;
    WeatherStationExport(base + ".mvta", *image);
    WriteExcelFile(base + ".xls", *image, TimeBase::Adjusted, &reason);
    if (WriteTableReportFile(base + "-table.pdf", *image, TimeBase::Adjusted, &reason)) {
        ExpectPdfPasses(base + "-table.pdf");
    }
    if (WriteGraphReportFile(base + "-graph.pdf", *image, TimeBase::Adjusted, &reason)) {
        ExpectPdfPasses(base + "-graph.pdf");
    }
    return 0;
}
