// razurozavi-cli: the headless companion of the desktop program; it runs the same
// core code as the windows.

#include <getopt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command_line.h"
#include "logger/clock.h"

namespace {

// A command's usage was printed as asked: the program ends successfully.
constexpr int EXIT_HELP_SHOWN = -1;

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
    {"summary",
     "summary IMAGE [--profile NAME|FILE] [--json | --pdf OUT.pdf [--gmt0] [--now T]]",
     1,
     1,
     {"--json", "--gmt0"},
     {"--profile", "--pdf", "--now"},
     RunSummary},
    {"show-config", "show-config FILE.mcfg", 1, 1, {}, {}, RunShowConfig},
    {"save-config", "save-config FILE.mcfg NAME=VALUE...", 1, 64, {}, {}, RunSaveConfig},
    {"upload",
     "upload IMAGE [--host H] [--tcp-port P]",
     1,
     1,
     {},
     {"--host", "--tcp-port"},
     RunUpload},
    {"upload-outbox",
     "upload-outbox [--host H] [--tcp-port P]",
     0,
     0,
     {},
     {"--host", "--tcp-port"},
     RunUploadOutbox},
    {"verify", "verify PATH [--archive DIR]", 1, 1, {}, {"--archive"}, RunVerify},
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
     "write-config FILE.mcfg [--port D] [--description TEXT] [--now T] [--archive DIR]",
     1,
     1,
     {},
     {"--port", "--description", "--now", "--archive"},
     RunWriteConfig},
    {"station",
     "station --archive DIR [--port D]... [--profile FILE.mcfg] [--reports] [--upload [--host H] "
     "[--tcp-port P]] [--cards N] [--now T] [--progress]",
     0,
     0,
     {"--reports", "--upload", "--progress"},
     {"--archive", "--port", "--profile", "--host", "--tcp-port", "--cards", "--now"},
     RunStation},
    {"simulate",
     "simulate [--readings N] [--interval S] [--firmware X.XX] [--baud-pace] [--fault SPEC]... "
     "[--name ttyACMn]",
     0,
     0,
     {"--baud-pace"},
     {"--readings", "--interval", "--firmware", "--fault", "--name"},
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

void PrintUsage(std::FILE* stream) {
    std::fputs(
        "usage: razurozavi-cli COMMAND ARGS...\n"
        "       razurozavi-cli --help | --version\n"
        "commands:\n",
        stream);
    for (const CommandSpec& spec : kCommands) {
        std::fprintf(stream, "  %s\n", spec.usage);
    }
}

// The words after COMMAND, parsed with getopt_long: options anywhere, "--name value" or
// "--name=value", and "--" ends them. Returns EXIT_OK, or the status to exit with.
int ParseArguments(const CommandSpec& spec, int argc, char** argv, CommandLine& args) {
    std::vector<std::string> names(spec.flags.begin(), spec.flags.end());
    names.insert(names.end(), spec.valued.begin(), spec.valued.end());
    names.push_back("--help");
    std::vector<option> table;
    for (std::size_t k = 0; k < names.size(); ++k) {
        const bool takes_value = spec.valued.count(names[k]) != 0;
        table.push_back({names[k].c_str() + 2, takes_value ? required_argument : no_argument,
                         nullptr, static_cast<int>(k) + 2});
    }
    table.push_back({nullptr, 0, nullptr, 0});
    // The command's name stands where getopt expects the program's. "-" keeps the
    // positionals in their order; ":" tells a missing value from an unknown option.
    opterr = 0;
    optind = 1;
    for (;;) {
        const int found = getopt_long(argc - 1, argv + 1, "-:", table.data(), nullptr);
        if (found == -1) {
            break;
        }
        if (found == 1) {
            args.positional.push_back(optarg);
            continue;
        }
        if (found == ':') {
            return UsageError(spec.name, std::string(argv[optind]) + " needs a value");
        }
        if (found == '?') {
            return UsageError(spec.name, std::string("unknown option: ") + argv[optind]);
        }
        const std::string& name = names[static_cast<std::size_t>(found - 2)];
        if (name == "--help") {
            std::printf("usage: razurozavi-cli %s\n", spec.usage);
            return EXIT_HELP_SHOWN;
        }
        std::vector<std::string>& values = args.options[name];
        if (optarg != nullptr) {
            values.push_back(optarg);
        }
    }
    for (int k = optind + 1; k < argc; ++k) {
        args.positional.push_back(argv[k]);
    }
    return EXIT_OK;
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
        PrintUsage(stderr);
    }
    return EXIT_USAGE;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return EXIT_USAGE;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        PrintUsage(stdout);
        return EXIT_OK;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("razurozavi-cli %s\n", RAZUROZAVI_VERSION);
        return EXIT_OK;
    }
    const CommandSpec* spec = FindCommand(argv[1]);
    if (spec == nullptr) {
        std::fprintf(stderr, "unknown command: %s\n", argv[1]);
        PrintUsage(stderr);
        return EXIT_USAGE;
    }
    CommandLine args;
    if (const int status = ParseArguments(*spec, argc, argv, args); status != EXIT_OK) {
        return status == EXIT_HELP_SHOWN ? EXIT_OK : status;
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
