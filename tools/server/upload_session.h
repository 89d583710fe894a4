#pragma once
// One connection's upload as a state machine with no socket: bytes in, replies out, and
// the moment the upload is whole and must be stored. The server's event loop drives it;
// a fuzz target feeds it any byte stream.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cloud/upload_messages.h"

inline constexpr std::array<std::uint8_t, 2> REPLY_REJECTED = {'e', 'e'};

class UploadSession {
  public:
    using Log = std::function<void(const std::string&)>;
    UploadSession(std::string peer, Log log);

    // Takes what the client sent; messages after the one that ends the session are ignored.
    void Receive(std::span<const std::uint8_t> bytes);
    // The end message came: store Header() and Readings(), then call Stored().
    bool WantsStore() const { return state_ == State::Storing; }
    const UploadHeader& Header() const { return *header_; }
    const std::vector<int>& Readings() const { return readings_; }
    const std::string& Peer() const { return peer_; }
    // "cc" once the upload is durable, else "ee" with the reason logged.
    void Stored(bool stored, const std::string& why);

    bool HasHeader() const { return header_.has_value(); }
    // Whole messages taken so far: how far the upload has come.
    std::size_t MessagesTaken() const { return messages_taken_; }
    // Replies not yet sent; the caller erases what it sent.
    std::vector<std::uint8_t>& Output() { return output_; }
    // Nothing more will be read: close once Output() is sent.
    bool Finished() const { return state_ == State::Accepted || state_ == State::Rejected; }
    // Ended with "ee": the client may still be sending, so close gently.
    bool Rejected() const { return state_ == State::Rejected; }

  private:
    enum class State { Reading, Storing, Accepted, Rejected };
    void Message(std::span<const std::uint8_t> message);
    void Reject(const std::string& why);
    void Reply(std::span<const std::uint8_t> bytes);

    std::string peer_;
    Log log_;
    State state_ = State::Reading;
    std::vector<std::uint8_t> pending_;  // the start of the next message
    std::optional<UploadHeader> header_;
    std::vector<int> readings_;
    std::vector<std::uint8_t> output_;
    std::size_t messages_taken_ = 0;
};
