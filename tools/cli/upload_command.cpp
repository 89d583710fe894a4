// The cloud upload of a data file: identity and configuration from the image header,
// firmware digits from the image, to the built-in server or the one given.

#include <charconv>

#include "app/open_command.h"
#include "cloud/upload.h"
#include "command_line.h"
#include "logger/graph_series.h"

static bool ParsePort(const std::string& text, int& port) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, port);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && port >= 1 &&
           port <= 65535;
}

int RunUpload(const CommandLine& args, ConsoleWindowLayer&) {
    CloudServer server = BuiltInCloudServer();
    if (const auto host = args.Value("--host")) {
        server.host = *host;
    }
    if (const auto port = args.Value("--tcp-port")) {
        if (!ParsePort(*port, server.port)) {
            return UsageError("upload", "--tcp-port wants a number from 1 to 65535");
        }
    }
    if (LoadDataFile(args.positional[0], data_in, WindowId::Main) != FileLoad::Loaded) {
        return EXIT_FAILED;
    }
    GraphData(data_in);
    const bool sent = envia_nuvem(
        data_in, ConfigFromHeader(data_in.data()), [] { return ImageFirmware(data_in); }, server);
    return sent ? EXIT_OK : EXIT_FAILED;
}
