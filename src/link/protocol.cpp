#include "link/protocol.h"

#include <cstring>

char DoCheckSun(const unsigned char* buffer) {
    unsigned char check = 0;
    for (int i = 0; i < CRC_LENGTH; ++i) {
        check ^= buffer[i];
    }
    return static_cast<char>(check);
}

char DecodeCommand(const unsigned char* command) {
    struct Code {
        char letters[3];
        char code;
    };
    static constexpr Code kCodes[] = {{"BT", BT}, {"DT", DT}, {"ER", ER}, {"FM", FM},
                                      {"RD", RD}, {"VR", VR}, {"WR", WR}};
    for (const Code& entry : kCodes) {
        if (command[0] == static_cast<unsigned char>(entry.letters[0]) &&
            command[1] == static_cast<unsigned char>(entry.letters[1])) {
            return entry.code;
        }
    }
    return UNKNOWN_COMMAND;
}

Frame BuildFrame(const char* command, const unsigned char* data) {
    Frame frame{};
    frame[0] = FI;
    frame[1] = static_cast<unsigned char>(command[0]);
    frame[2] = static_cast<unsigned char>(command[1]);
    std::memcpy(frame.data() + PAYLOAD_OFFSET, data, PAYLOAD_LENGTH);
    frame[CHECK_BYTE_INDEX] = static_cast<unsigned char>(DoCheckSun(frame.data() + 1));
    frame[FRAME_LENGTH - 1] = FF;
    return frame;
}

bool IsValidFrame(const unsigned char* bytes, std::size_t length) {
    return length == FRAME_LENGTH && bytes[0] == FI && bytes[FRAME_LENGTH - 1] == FF &&
           bytes[CHECK_BYTE_INDEX] == static_cast<unsigned char>(DoCheckSun(bytes + 1));
}

std::string VersionText(const unsigned char* frame) {
    std::string text = "Firmware\t\tVx.xx \nHardware\t\tVxxx";
    const std::size_t firmware = text.find('V') + 1;
    const std::size_t hardware = text.rfind('V') + 1;
    for (int i = 0; i < 4; ++i) {
        text[firmware + i] = static_cast<char>(frame[3 + i]);
    }
    for (int i = 0; i < 3; ++i) {
        text[hardware + i] = static_cast<char>(frame[7 + i]);
    }
    return text;
}

std::vector<LinkMessage> SplitReceived(ReceiveSplitter& splitter, const unsigned char* bytes,
                                       std::size_t length,
                                       std::chrono::steady_clock::time_point now) {
    std::vector<unsigned char>& pending = splitter.pending;
    if (!pending.empty() &&
        now - splitter.first_arrival > std::chrono::milliseconds(INCOMPLETE_FRAME_TIMEOUT_MS)) {
        pending.clear();
    }
    if (pending.empty()) {
        splitter.first_arrival = now;
    }
    pending.insert(pending.end(), bytes, bytes + length);

    std::vector<LinkMessage> messages;
    std::size_t start = 0;
    while (start < pending.size()) {
        const unsigned char* head = pending.data() + start;
        const std::size_t available = pending.size() - start;
        if (head[0] == SC) {
            messages.emplace_back(1, SC);
            start += 1;
        } else if (head[0] == FI) {
            if (available < FRAME_LENGTH) {
                break;  // wait for the rest
            }
            if (IsValidFrame(head, FRAME_LENGTH)) {
                messages.emplace_back(head, head + FRAME_LENGTH);
                start += FRAME_LENGTH;
            } else if (head[FRAME_LENGTH - 1] == FF) {
                // A frame damaged on the line: its 0xE5 data bytes are no acknowledges.
                start += FRAME_LENGTH;
            } else {
                start += 1;  // a false start: resynchronise on the next mark
            }
        } else {
            start += 1;  // junk
        }
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(start));
    if (start > 0 && !pending.empty()) {
        splitter.first_arrival = now;
    }
    return messages;
}
