#include "upload_session.h"

#include <utility>

UploadSession::UploadSession(std::string peer, Log log)
    : peer_(std::move(peer)), log_(std::move(log)) {}

void UploadSession::Receive(std::span<const std::uint8_t> bytes) {
    while (state_ == State::Reading && !bytes.empty()) {
        // Take no more than the message in hand announces, so that one message is handled
        // at a time and the buffer never outgrows the largest packet.
        const FrameScan scan = ScanMessage(pending_);
        std::size_t wanted = scan.wanted > pending_.size() ? scan.wanted - pending_.size() : 1;
        if (wanted > bytes.size()) {
            wanted = bytes.size();
        }
        pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + wanted);
        bytes = bytes.subspan(wanted);
        const FrameScan now = ScanMessage(pending_);
        if (now.state == FrameState::Invalid) {
            return Reject("not a message");
        }
        if (now.state == FrameState::Complete && now.wanted <= pending_.size()) {
            std::vector<std::uint8_t> message;
            message.swap(pending_);
            message.resize(now.wanted);
            Message(message);
        }
    }
}

void UploadSession::Message(std::span<const std::uint8_t> message) {
    if (!header_) {
        header_ = ParseHeaderMessage(message);
        if (!header_) {
            return Reject("bad header");
        }
    } else if (IsEndMessage(message)) {
        ++messages_taken_;
        state_ = State::Storing;
        return;
    } else {
        const std::optional<std::vector<int>> packet = ParseDataPacket(message);
        if (!packet) {
            return Reject("bad data packet");
        }
        if (readings_.size() + packet->size() > static_cast<std::size_t>(MAX_IMAGE_READINGS)) {
            return Reject("more readings than a card holds");
        }
        readings_.insert(readings_.end(), packet->begin(), packet->end());
    }
    ++messages_taken_;
    Reply(REPLY_ACCEPTED);
}

void UploadSession::Stored(bool stored, const std::string& why) {
    if (state_ != State::Storing) {
        return;
    }
    if (!stored) {
        return Reject("cannot store: " + why);
    }
    log_("stored upload from " + peer_ + ": serial " + std::to_string(header_->serial) + ", " +
         std::to_string(readings_.size()) + " readings");
    state_ = State::Accepted;
    Reply(REPLY_ACCEPTED);
}

void UploadSession::Reject(const std::string& why) {
    log_("rejected " + peer_ + ": " + why);
    state_ = State::Rejected;
    pending_.clear();
    Reply(REPLY_REJECTED);
}

void UploadSession::Reply(std::span<const std::uint8_t> bytes) {
    output_.insert(output_.end(), bytes.begin(), bytes.end());
}
