// The summary command: what a quality manager decides from, and the verdict of a profile,
// printed or written as the one-page "Resumo".

#include <cstdio>
#include <string>

#include "app/open_command.h"
#include "app/write_error.h"
#include "command_line.h"
#include "files/digest.h"
#include "logger/readings.h"
#include "reports/recording_summary.h"
#include "reports/summary_report.h"

int RunSummary(const CommandLine& args, ConsoleWindowLayer&) {
    if (LoadDataFile(args.positional[0], data_in, WindowId::Main) != FileLoad::Loaded) {
        return EXIT_FAILED;
    }
    const ProfileLookup lookup = FindProfile(
        args.Value("--profile").value_or(std::string(DEFAULT_PROFILE)), UserProfileDir());
    if (!lookup.profile) {
        ShowMessage(WindowId::Data, lookup.message, "Erro", MsgIcon::Stop);
        return EXIT_FAILED;
    }
    const RecordingSummary summary = SummarizeImage(data_in, *lookup.profile);
    if (const auto pdf = args.Value("--pdf")) {
        const std::string path = AbsolutePath(*pdf);
        std::string error;
        if (!WriteSummaryReport(path, summary,
                                ReportGmtOffset(data_in, ShownTimeBase(args.Has("--gmt0"))),
                                DataFileSha256(data_in), &error)) {
            ShowWriteError(WindowId::Data, path, error);
            return EXIT_FAILED;
        }
        return EXIT_OK;
    }
    const std::string out = args.Has("--json") ? SummaryJson(summary) : SummaryLines(summary);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return EXIT_OK;
}
