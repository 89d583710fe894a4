// razurozavi-cli: the headless companion of the desktop program; it runs the same
// core code as the windows.

#include <cstdio>
#include <cstring>
#include <string>

#include "command_line.h"
#include "logger/clock.h"

namespace {

const CommandSpec kCommands[] = {
    {"list", "list IMAGE [--gmt0]", 1, 1, {"--gmt0"}, {}, RunList},
    {"xls", "xls IMAGE OUT.xls [--gmt0]", 2, 2, {"--gmt0"}, {}, RunXls},
    {"pdf-table",
     "pdf-table IMAGE OUT.pdf [--gmt0] [--now T]",
     2,
     2,
     {"--gmt0"},
     {"--now"},
     RunPdfTable},
    {"pdf-graph",
     "pdf-graph IMAGE OUT.pdf [--gmt0] [--now T]",
     2,
     2,
     {"--gmt0"},
     {"--now"},
     RunPdfGraph},
    {"print", "print IMAGE OUT.pdf", 2, 2, {}, {}, RunPrint},
    {"show-config", "show-config FILE.mcfg", 1, 1, {}, {}, RunShowConfig},
    {"save-config", "save-config FILE.mcfg NAME=VALUE...", 1, 64, {}, {}, RunSaveConfig},
    {"upload",
     "upload IMAGE [--host H] [--tcp-port P]",
     1,
     1,
     {},
     {"--host", "--tcp-port"},
     RunUpload},
    {"info", "info [--port D]", 0, 0, {}, {"--port"}, RunInfo},
    {"read", "read OUT.mvta [--port D]", 1, 1, {}, {"--port"}, RunRead},
    {"read-config",
     "read-config [--port D] [--save OUT.mcfg]",
     0,
     0,
     {},
     {"--port", "--save"},
     RunReadConfig},
    {"write-config",
     "write-config FILE.mcfg [--port D] [--description TEXT] [--now T]",
     1,
     1,
     {},
     {"--port", "--description", "--now"},
     RunWriteConfig},
    {"simulate",
     "simulate [--readings N] [--interval S] [--firmware X.XX] [--baud-pace] [--fault SPEC]...",
     0,
     0,
     {"--baud-pace"},
     {"--readings", "--interval", "--firmware", "--fault"},
     RunSimulate},
};

const CommandSpec* FindCommand(const std::string& name) {
    for (const CommandSpec& spec : kCommands) {
        if (name == spec.name) {
            return &spec;
        }
    }
    return nullptr;
}

void PrintUsage() {
    std::fputs("usage: razurozavi-cli COMMAND ARGS...\ncommands:\n", stderr);
    for (const CommandSpec& spec : kCommands) {
        std::fprintf(stderr, "  %s\n", spec.usage);
    }
}

}  // namespace

std::optional<std::string> CommandLine::Value(const std::string& name) const {
    const auto found = options.find(name);
    if (found == options.end() || found->second.empty()) {
        return std::nullopt;
    }
    return found->second.back();
}

int UsageError(const std::string& command, const std::string& why) {
    const CommandSpec* spec = FindCommand(command);
    if (!why.empty()) {
        std::fprintf(stderr, "%s\n", why.c_str());
    }
    if (spec != nullptr) {
        std::fprintf(stderr, "usage: razurozavi-cli %s\n", spec->usage);
    } else {
        PrintUsage();
    }
    return EXIT_USAGE;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage();
        return EXIT_USAGE;
    }
    const CommandSpec* spec = FindCommand(argv[1]);
    if (spec == nullptr) {
        std::fprintf(stderr, "unknown command: %s\n", argv[1]);
        PrintUsage();
        return EXIT_USAGE;
    }
    CommandLine args;
    for (int k = 2; k < argc; ++k) {
        const std::string word = argv[k];
        if (word.rfind("--", 0) != 0) {
            args.positional.push_back(word);
        } else if (spec->flags.count(word) != 0) {
            args.options[word];
        } else if (spec->valued.count(word) != 0) {
            if (k + 1 >= argc) {
                return UsageError(spec->name, word + " needs a value");
            }
            args.options[word].push_back(argv[++k]);
        } else {
            return UsageError(spec->name, "unknown option: " + word);
        }
    }
    if (args.positional.size() < spec->min_positional ||
        args.positional.size() > spec->max_positional) {
        return UsageError(spec->name, "wrong number of arguments");
    }
    if (const auto now = args.Value("--now")) {
        const std::optional<CALENDAR> fixed = ParseLocalTimeText(*now);
        if (!fixed) {
            return UsageError(spec->name, "--now wants \"YYYY-MM-DD HH:MM:SS\"");
        }
        SetFixedLocalTime(fixed);
    }
    ConsoleWindowLayer console;
    SetWindowLayer(&console);
    const int status = spec->run(args, console);
    std::fflush(stdout);
    SetWindowLayer(nullptr);
    return status;
}
