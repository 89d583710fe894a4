// The PDF report commands: pdf-table and pdf-graph.

#include "app/open_command.h"
#include "app/write_error.h"
#include "command_line.h"
#include "reports/pdf.h"
#include "reports/pdf_graph.h"

static int RunReport(const CommandLine& args, bool (*write)(const std::string&, const MemoryImage&,
                                                            TimeBase, std::string*)) {
    if (LoadDataFile(args.positional[0], data_in, WindowId::Main) != FileLoad::Loaded) {
        return EXIT_FAILED;
    }
    // The footers print the path as the desktop's save dialog would give it.
    const std::string path = AbsolutePath(args.positional[1]);
    CheckImageFirmware(data_in, WindowId::Data);
    std::string reason;
    if (!write(path, data_in, ShownTimeBase(args.Has("--gmt0")), &reason)) {
        ShowWriteError(WindowId::Data, path, reason);
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

int RunPdfTable(const CommandLine& args, ConsoleWindowLayer&) {
    return RunReport(args, WriteTableReportFile);
}

int RunPdfGraph(const CommandLine& args, ConsoleWindowLayer&) {
    return RunReport(args, WriteGraphReportFile);
}
