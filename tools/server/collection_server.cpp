#include "collection_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

// How often the accept loop wakes to reap finished connections.
constexpr int REAP_INTERVAL_MS = 1000;
constexpr int LISTEN_BACKLOG = 64;
constexpr int ACCEPT_RETRY_MS = 100;
// A reply that cannot be sent within this time ends the connection.
constexpr int SEND_TIMEOUT_MS = 10000;
// What a refused client may still send before the connection closes.
constexpr int DRAIN_READS = 8;
constexpr int DRAIN_WAIT_MS = 200;

std::string PeerAddress(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text,
                  sizeof text);
    } else if (address.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
                  sizeof text);
    }
    return text;
}

// Closing with unread input would reset the connection and could lose the reply on its
// way; so stop sending and let the client's rest arrive, for a bounded time and amount.
void CloseGently(int fd, std::span<std::uint8_t> scratch) {
    shutdown(fd, SHUT_WR);
    for (int k = 0; k < DRAIN_READS; ++k) {
        if (ReceiveOnce(fd, scratch, DRAIN_WAIT_MS) <= 0) {
            return;
        }
    }
}

}  // namespace

CollectionServer::CollectionServer(UploadStore& store, ServerOptions options)
    : store_(store), options_(std::move(options)) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        stop_read_.Reset(fds[0]);
        stop_write_.Reset(fds[1]);
    }
}

CollectionServer::~CollectionServer() {
    Stop();
    std::map<int, std::thread> workers;
    {
        std::lock_guard lock(workers_mutex_);
        workers.swap(workers_);
    }
    for (auto& [id, worker] : workers) {
        worker.join();
    }
}

bool CollectionServer::Listen(std::string* error) {
    if (!stop_read_.Valid()) {
        *error = "cannot create a pipe";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(options_.port);
    const int resolved = getaddrinfo(options_.bind_address.c_str(), port.c_str(), &hints, &found);
    if (resolved != 0 || found == nullptr) {
        *error = "cannot resolve " + options_.bind_address + ": " + gai_strerror(resolved);
        return false;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
    SocketHandle s(socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int yes = 1;
    if (!s.Valid() || setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        bind(s.Get(), found->ai_addr, found->ai_addrlen) != 0 ||
        listen(s.Get(), LISTEN_BACKLOG) != 0) {
        *error = "cannot listen on " + options_.bind_address + " port " + port;
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(s.Get(), reinterpret_cast<sockaddr*>(&bound), &length);
    port_ =
        ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(bound).sin6_port
                                          : reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    listener_ = std::move(s);
    return true;
}

void CollectionServer::Stop() {
    const char byte = 1;
    if (stop_write_.Valid()) {
        [[maybe_unused]] const ssize_t written = write(stop_write_.Get(), &byte, 1);
    }
}

void CollectionServer::ReapFinished() {
    std::vector<std::thread> done;
    {
        std::lock_guard lock(workers_mutex_);
        for (const int id : finished_) {
            const auto found = workers_.find(id);
            if (found != workers_.end()) {
                done.push_back(std::move(found->second));
                workers_.erase(found);
            }
        }
        finished_.clear();
    }
    for (std::thread& worker : done) {
        worker.join();
    }
}

void CollectionServer::Serve() {
    for (;;) {
        const bool incoming = WaitReadable(listener_.Get(), REAP_INTERVAL_MS, stop_read_.Get());
        ReapFinished();
        if (WaitReadable(stop_read_.Get(), 0)) {
            return;
        }
        if (!incoming) {
            continue;
        }
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        SocketHandle connection(accept4(listener_.Get(), reinterpret_cast<sockaddr*>(&address),
                                        &length, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!connection.Valid()) {
            // Out of descriptors: give the connections being served time to end.
            if (errno == EMFILE || errno == ENFILE) {
                std::this_thread::sleep_for(std::chrono::milliseconds(ACCEPT_RETRY_MS));
            }
            continue;
        }
        std::lock_guard lock(workers_mutex_);
        if (static_cast<int>(workers_.size()) >= options_.max_connections) {
            std::fprintf(stderr, "refused %s: too many connections\n",
                         PeerAddress(address).c_str());
            continue;
        }
        const int id = next_worker_++;
        workers_.emplace(
            id, std::thread([this, id, fd = connection.Release(), peer = PeerAddress(address)] {
                Session(fd, peer);
                std::lock_guard done_lock(workers_mutex_);
                finished_.push_back(id);
            }));
    }
}

void CollectionServer::Session(int fd, const std::string& peer) {
    const SocketHandle connection(fd);
    std::optional<UploadHeader> header;
    std::vector<int> readings;
    std::vector<std::uint8_t> buffer(MAX_PACKET_SIZE);
    const auto reply = [&](std::span<const std::uint8_t> bytes) {
        return SendAll(fd, bytes, SEND_TIMEOUT_MS);
    };
    const auto reject = [&](const char* why) {
        std::fprintf(stderr, "rejected %s: %s\n", peer.c_str(), why);
        if (reply(REPLY_REJECTED)) {
            CloseGently(fd, buffer);
        }
    };
    for (;;) {
        // Takes exactly one message, never more than it announces.
        std::size_t have = 0;
        FrameScan scan = ScanMessage({});
        while (scan.state == FrameState::NeedMore) {
            const ssize_t got = ReceiveOnce(fd, std::span(buffer).subspan(have, scan.wanted - have),
                                            options_.idle_timeout_ms, stop_read_.Get());
            if (got <= 0) {
                return;
            }
            have += static_cast<std::size_t>(got);
            scan = ScanMessage(std::span(buffer).first(have));
        }
        if (scan.state == FrameState::Invalid) {
            return reject("not a message");
        }
        const std::span<const std::uint8_t> message = std::span(buffer).first(have);
        if (!header) {
            header = ParseHeaderMessage(message);
            if (!header) {
                return reject("bad header");
            }
        } else if (IsEndMessage(message)) {
            if (!store_.Store(peer, *header, readings)) {
                return reject("cannot store");
            }
            std::fprintf(stderr, "stored upload from %s: serial %ld, %zu readings\n", peer.c_str(),
                         header->serial, readings.size());
            reply(REPLY_ACCEPTED);
            return;
        } else {
            const std::optional<std::vector<int>> packet = ParseDataPacket(message);
            if (!packet) {
                return reject("bad data packet");
            }
            if (readings.size() + packet->size() > static_cast<std::size_t>(MAX_IMAGE_READINGS)) {
                return reject("more readings than a card holds");
            }
            readings.insert(readings.end(), packet->begin(), packet->end());
        }
        if (!reply(REPLY_ACCEPTED)) {
            return;
        }
    }
}
