#pragma once
// The program's end of a simulated card's line, as a test drives it: raw frames out,
// raw bytes and split messages in.

#include <string>
#include <vector>

#include "link/protocol.h"

class CardLine {
  public:
    explicit CardLine(const std::string& port_path);
    ~CardLine();
    CardLine(const CardLine&) = delete;
    CardLine& operator=(const CardLine&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    void Write(const Frame& frame);
    void Acknowledge();
    // Messages (lone acknowledges and valid frames) until `count` arrived or `timeout_ms`.
    std::vector<LinkMessage> ReadMessages(std::size_t count, int timeout_ms);
    // Sends `request`, expects the acknowledge and one reply, acknowledges it; the reply.
    LinkMessage Exchange(const Frame& request);

  private:
    int fd_ = -1;
    ReceiveSplitter splitter_;
    std::vector<LinkMessage> waiting_;
};

// A frame of `letters` whose payload begins with `payload_head`, zeros after.
Frame RequestFrame(const char* letters, std::vector<unsigned char> payload_head = {});
inline LinkMessage AsMessage(const Frame& frame) {
    return LinkMessage(frame.begin(), frame.end());
}
