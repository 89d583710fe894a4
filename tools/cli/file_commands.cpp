// The commands on files: list, xls, show-config, save-config.

#include <unistd.h>

#include <charconv>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/open_command.h"
#include "app/write_error.h"
#include "command_line.h"
#include "files/excel.h"
#include "logger/cp1252.h"
#include "logger/reading_list.h"
#include "logger/readings.h"

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

static bool LoadImageArgument(const std::string& path) {
    return LoadDataFile(path, data_in, WindowId::Main) == FileLoad::Loaded;
}

int RunList(const CommandLine& args, ConsoleWindowLayer&) {
    if (!LoadImageArgument(args.positional[0])) {
        return EXIT_FAILED;
    }
    CheckImageFirmware(data_in, WindowId::Data);
    std::string out;
    for (const std::string& line : ReadingListLines(data_in, ShownTimeBase(args.Has("--gmt0")))) {
        out += line;
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return EXIT_OK;
}

int RunXls(const CommandLine& args, ConsoleWindowLayer&) {
    if (!LoadImageArgument(args.positional[0])) {
        return EXIT_FAILED;
    }
    const std::string path = AbsolutePath(args.positional[1]);
    CheckImageFirmware(data_in, WindowId::Data);
    std::string reason;
    if (!WriteExcelFile(path, data_in, ShownTimeBase(args.Has("--gmt0")), &reason)) {
        ShowWriteError(WindowId::Data, path, reason);
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

int RunShowConfig(const CommandLine& args, ConsoleWindowLayer&) {
    ConfigValues v;
    if (LoadConfigFile(args.positional[0], v, WindowId::Main) != FileLoad::Loaded) {
        return EXIT_FAILED;
    }
    std::printf(
        "sample_points=%d\nsample_rate=%d\nled_cycle=%d\nflash_alarm=%d\ntemp_unit=%d\n"
        "t_low_alarm=%d\nt_high_alarm=%d\nstart_delay=%d\nalarm_delay=%d\ndescricao=%s\n"
        "modo_nuvem=%d\n",
        v.sample_points, v.sample_rate, v.led_cycle, v.flash_alarm ? 1 : 0, v.temp_unit,
        v.t_low_alarm, v.t_high_alarm, v.start_delay, v.alarm_delay,
        Cp1252ToUtf8(DescriptionBytes(v.descricao.data())).c_str(), v.modo_nuvem ? 1 : 0);
    return EXIT_OK;
}

static bool ParseNumber(const std::string& text, long max, long& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && value >= 0 &&
           value <= max;
}

// Sets one NAME=VALUE on `v`; an error text when the name or value is not accepted.
static std::string SetConfigValue(ConfigValues& v, const std::string& name,
                                  const std::string& text) {
    if (name == "descricao") {
        const std::string bytes = Utf8ToCp1252(text);
        if (bytes.size() > DESCRIPTION_MAX_CHARS) {
            return "descricao holds at most 20 characters";
        }
        SetDescription(v.descricao, bytes);
        return {};
    }
    struct Field {
        const char* name;
        long max;
        void (*store)(ConfigValues&, int);
    };
    static const Field kFields[] = {
        {"sample_points", 65535, [](ConfigValues& c, int n) { c.sample_points = n; }},
        {"sample_rate", 65535, [](ConfigValues& c, int n) { c.sample_rate = n; }},
        {"led_cycle", 255,
         [](ConfigValues& c, int n) { c.led_cycle = static_cast<unsigned char>(n); }},
        {"flash_alarm", 1, [](ConfigValues& c, int n) { c.flash_alarm = n != 0; }},
        {"temp_unit", 1,
         [](ConfigValues& c, int n) { c.temp_unit = static_cast<unsigned char>(n); }},
        {"t_low_alarm", 1023, [](ConfigValues& c, int n) { c.t_low_alarm = n; }},
        {"t_high_alarm", 1023, [](ConfigValues& c, int n) { c.t_high_alarm = n; }},
        {"start_delay", 65535, [](ConfigValues& c, int n) { c.start_delay = n; }},
        {"alarm_delay", 65535, [](ConfigValues& c, int n) { c.alarm_delay = n; }},
        {"modo_nuvem", 1, [](ConfigValues& c, int n) { c.modo_nuvem = n != 0; }}};
    for (const Field& field : kFields) {
        if (name != field.name) {
            continue;
        }
        long value = 0;
        if (!ParseNumber(text, field.max, value)) {
            return name + " wants a whole number from 0 to " + std::to_string(field.max);
        }
        field.store(v, static_cast<int>(value));
        return {};
    }
    return "unknown configuration value: " + name;
}

int RunSaveConfig(const CommandLine& args, ConsoleWindowLayer&) {
    ConfigValues v;
    v.serial = 0;
    for (std::size_t k = 1; k < args.positional.size(); ++k) {
        const std::string& assignment = args.positional[k];
        const std::size_t equals = assignment.find('=');
        if (equals == std::string::npos) {
            return UsageError("save-config", "expected NAME=VALUE, got: " + assignment);
        }
        const std::string why =
            SetConfigValue(v, assignment.substr(0, equals), assignment.substr(equals + 1));
        if (!why.empty()) {
            return UsageError("save-config", why);
        }
    }
    std::string reason;
    if (!SaveConfigFile(args.positional[0], v, &reason)) {
        std::fprintf(stderr, "Erro: Não foi possível gravar o arquivo %s: %s\n",
                     args.positional[0].c_str(), reason.c_str());
        return EXIT_FAILED;
    }
    return EXIT_OK;
}
