// The summary command: what a quality manager decides from, and the verdict of a profile.

#include <cstdio>
#include <string>

#include "command_line.h"
#include "files/file.h"
#include "reports/recording_summary.h"

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
    const std::string out = args.Has("--json") ? SummaryJson(summary) : SummaryLines(summary);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return EXIT_OK;
}
