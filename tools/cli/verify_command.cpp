// The verify command: whether data files, reports and archives are what their ledgers
// recorded, one line an item, for an auditor or a script.

#include <cstdio>

#include "command_line.h"
#include "files/integrity.h"

int RunVerify(const CommandLine& args, ConsoleWindowLayer&) {
    std::string reason;
    const auto items =
        VerifyIntegrity(args.positional[0], args.Value("--archive").value_or(""), &reason);
    if (!items) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return EXIT_FAILED;
    }
    bool all_ok = true;
    for (const IntegrityItem& item : *items) {
        std::printf("%s\n", IntegrityLineText(item).c_str());
        all_ok = all_ok && item.verdict == Integrity::Ok;
    }
    // The outcome stands whether or not it could be recorded (a read-only copy, say).
    if (!RecordVerification(args.positional[0], *items, &reason)) {
        std::fprintf(stderr, "Aviso: verificação não registrada: %s\n", reason.c_str());
    }
    return all_ok ? EXIT_OK : EXIT_FAILED;
}
