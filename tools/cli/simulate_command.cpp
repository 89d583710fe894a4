// The simulate command: a simulated card on a pseudo-terminal, served until SIGINT or SIGTERM.

#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "command_line.h"
#include "link/serial.h"
#include "simcard/simulated_card.h"

static bool ParseBounded(const std::string& text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && value >= low &&
           value <= high;
}

// Digit, separator, digit, digit, as the card's version reply carries it.
static bool IsVersionText(const std::string& text) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return text.size() == 4 && digit(text[0]) && !digit(text[1]) && digit(text[2]) &&
           digit(text[3]);
}

int RunSimulate(const CommandLine& args, ConsoleWindowLayer&) {
    SimulatedCardOptions options;
    if (const auto readings = args.Value("--readings");
        readings && !ParseBounded(*readings, 0, 0xFFFF, options.readings)) {
        return UsageError("simulate", "--readings wants a number from 0 to 65535");
    }
    if (const auto interval = args.Value("--interval");
        interval && !ParseBounded(*interval, 1, 0xFFFF, options.interval_s)) {
        return UsageError("simulate", "--interval wants seconds from 1 to 65535");
    }
    if (const auto firmware = args.Value("--firmware")) {
        if (!IsVersionText(*firmware)) {
            return UsageError("simulate", "--firmware wants a version such as 1.03");
        }
        options.firmware = *firmware;
    }
    options.baud_pace = args.Has("--baud-pace");
    if (args.options.count("--fault") != 0) {
        for (const std::string& text : args.options.at("--fault")) {
            std::string why;
            const std::optional<CardFault> fault = ParseCardFault(text, &why);
            if (!fault) {
                return UsageError("simulate", why);
            }
            options.faults.push_back(*fault);
        }
    }
    if (const char* directory = std::getenv(SIMULATED_PORTS_ENV)) {
        options.registration_dir = directory;
    }
    if (const auto name = args.Value("--name")) {
        int number = 0;
        const std::string prefix = USB_SERIAL_TTY;
        if (name->rfind(prefix, 0) != 0 ||
            !ParseBounded(name->substr(prefix.size()), 0, 999, number)) {
            return UsageError("simulate", "--name wants a port name such as ttyACM3");
        }
        if (options.registration_dir.empty()) {
            return UsageError("simulate", std::string("--name needs ") + SIMULATED_PORTS_ENV);
        }
        options.registration_name = *name;
    }

    // Blocked before the card's thread starts, so that only sigwait() below takes them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    SimulatedCard card(options);
    std::string why;
    if (!card.Start(&why)) {
        std::fprintf(stderr, "Erro: Não foi possível criar o cartão simulado (%s)\n", why.c_str());
        return EXIT_FAILED;
    }
    std::printf("port=%s\n", card.PortPath().c_str());
    if (!card.RegisteredLink().empty()) {
        std::printf("registered=%s\n", card.RegisteredLink().c_str());
    }
    std::fflush(stdout);
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    card.Stop();
    // Whoever started the card may have stopped reading its output.
    signal(SIGPIPE, SIG_IGN);
    // The card's own share of the session, for whoever measures the program against it.
    const CardLineTime line = card.LineTime();
    const double wire_s =
        static_cast<double>(
            WireTime(static_cast<std::size_t>(line.bytes_in + line.bytes_out)).count()) /
        1e9;
    std::printf("card_bytes_in=%lld\ncard_bytes_out=%lld\ncard_wire_s=%.6f\ncard_busy_s=%.6f\n",
                line.bytes_in, line.bytes_out, wire_s,
                std::chrono::duration<double>(line.busy).count());
    return EXIT_OK;
}
