// The server's conversation with one client, any bytes in any pieces: only "cc" and "ee", nothing
// after an "ee" or the final "cc", and an upload reaches the store only whole.

#include <cstddef>
#include <cstdint>
#include <span>

#include "upload_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    UploadSession session("fuzz", [](const std::string&) {});
    std::size_t at = 0;
    while (at < size && !session.Finished()) {
        const std::size_t piece = 1 + data[at] % 97;
        const std::size_t n = piece < size - at ? piece : size - at;
        session.Receive(std::span(data + at, n));
        at += n;
        if (session.WantsStore()) {
            if (!session.HasHeader() || session.Readings().size() > MAX_IMAGE_READINGS) {
                __builtin_trap();
            }
            // Whether the database takes it comes from the input too.
            session.Stored(at < size && data[at] % 2 == 0, "full");
        }
        std::vector<std::uint8_t>& out = session.Output();
        if (out.size() % 2 != 0) {
            __builtin_trap();
        }
        for (std::size_t k = 0; k < out.size(); k += 2) {
            const bool cc = out[k] == 'c' && out[k + 1] == 'c';
            const bool ee = out[k] == 'e' && out[k + 1] == 'e';
            if (!(cc || (ee && k + 2 == out.size()))) {
                __builtin_trap();
            }
        }
        out.clear();
        if (session.Finished() && !session.Rejected() && !session.HasHeader()) {
            __builtin_trap();
        }
    }
    const std::size_t before = session.Output().size();
    if (session.Finished()) {
        session.Receive(std::span(data, size));
        if (session.Output().size() != before) {
            __builtin_trap();  // nothing is answered after the end
        }
    }
    return 0;
}
