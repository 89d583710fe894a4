// The PDF report commands: pdf-table and pdf-graph.

#include "command_line.h"
#include "files/file.h"
#include "reports/pdf.h"
#include "reports/pdf_graph.h"

static int RunReport(const CommandLine& args, ConsoleWindowLayer& console,
                     bool (*report)(WindowId, const MemoryImage&)) {
    if (LoadDataFile(args.positional[0], data_in, WindowId::Main) != FileLoad::Loaded) {
        return EXIT_FAILED;
    }
    console.SetDialogPath(AbsolutePath(args.positional[1]));
    return report(WindowId::Data, data_in) ? EXIT_OK : EXIT_FAILED;
}

int RunPdfTable(const CommandLine& args, ConsoleWindowLayer& console) {
    return RunReport(args, console, PdfData);
}

int RunPdfGraph(const CommandLine& args, ConsoleWindowLayer& console) {
    return RunReport(args, console, PdfData_g);
}
