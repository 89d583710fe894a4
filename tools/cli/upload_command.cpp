// The cloud upload of a data file: identity and configuration from the image header,
// firmware digits from the image, to the built-in server or the one given; and the uploads
// that wait in the outbox.

#include <charconv>
#include <cstdio>

#include "app/cloud_outbox.h"
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

// --host and --tcp-port over the built-in server; false after a usage error.
static bool ChosenServer(const CommandLine& args, const char* command, CloudServer& server) {
    server = BuiltInCloudServer();
    if (const auto host = args.Value("--host")) {
        server.host = *host;
    }
    if (const auto port = args.Value("--tcp-port")) {
        if (!ParsePort(*port, server.port)) {
            UsageError(command, "--tcp-port wants a number from 1 to 65535");
            return false;
        }
    }
    return true;
}

int RunUploadOutbox(const CommandLine& args, ConsoleWindowLayer&) {
    CloudServer server;
    if (!ChosenServer(args, "upload-outbox", server)) {
        return EXIT_USAGE;
    }
    const OutboxCount count = SendOutbox(server);
    std::printf("sent=%d waiting=%d\n", count.sent, count.waiting);
    return count.waiting == 0 ? EXIT_OK : EXIT_FAILED;
}

int RunUpload(const CommandLine& args, ConsoleWindowLayer&) {
    CloudServer server;
    if (!ChosenServer(args, "upload", server)) {
        return EXIT_USAGE;
    }
    if (LoadDataFile(args.positional[0], data_in, WindowId::Main) != FileLoad::Loaded) {
        return EXIT_FAILED;
    }
    GraphData(data_in);
    const bool sent = envia_nuvem(
        data_in, ConfigFromHeader(data_in.data()), [] { return ImageFirmware(data_in); }, server);
    return sent ? EXIT_OK : EXIT_FAILED;
}
