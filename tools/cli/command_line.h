#pragma once
// Arguments of one command: positionals and options, options anywhere after it.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "console_window_layer.h"

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

struct CommandLine {
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> options;

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    std::optional<std::string> Value(const std::string& name) const;
};

struct CommandSpec {
    const char* name;
    const char* usage;  // after "razurozavi-cli "
    std::size_t min_positional;
    std::size_t max_positional;
    std::set<std::string> flags;   // options without a value
    std::set<std::string> valued;  // options followed by a value
    int (*run)(const CommandLine& args, ConsoleWindowLayer& console);
};

// Prints why and "usage: razurozavi-cli ..." of `command` on standard error; EXIT_USAGE.
int UsageError(const std::string& command, const std::string& why);
// The absolute form of a path, as a file dialog would return it.
std::string AbsolutePath(const std::string& path);

// Commands on files.
int RunList(const CommandLine& args, ConsoleWindowLayer& console);
int RunXls(const CommandLine& args, ConsoleWindowLayer& console);
int RunShowConfig(const CommandLine& args, ConsoleWindowLayer& console);
int RunSaveConfig(const CommandLine& args, ConsoleWindowLayer& console);
int RunPdfTable(const CommandLine& args, ConsoleWindowLayer& console);
int RunPdfGraph(const CommandLine& args, ConsoleWindowLayer& console);
int RunPrint(const CommandLine& args, ConsoleWindowLayer& console);

// The recording's summary and verdict.
int RunSummary(const CommandLine& args, ConsoleWindowLayer& console);

// Whether files and archives are what their ledgers recorded.
int RunVerify(const CommandLine& args, ConsoleWindowLayer& console);

// The cloud upload.
int RunUpload(const CommandLine& args, ConsoleWindowLayer& console);
int RunUploadOutbox(const CommandLine& args, ConsoleWindowLayer& console);

// The simulated card.
int RunSimulate(const CommandLine& args, ConsoleWindowLayer& console);

// Commands on the card.
int RunInfo(const CommandLine& args, ConsoleWindowLayer& console);
int RunRead(const CommandLine& args, ConsoleWindowLayer& console);
int RunReadConfig(const CommandLine& args, ConsoleWindowLayer& console);
int RunWriteConfig(const CommandLine& args, ConsoleWindowLayer& console);
int RunStation(const CommandLine& args, ConsoleWindowLayer& console);
