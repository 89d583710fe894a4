#pragma once
// Loopback servers for the cloud tests: a scripted stand-in and the real collection server.

#include <arpa/inet.h>
#include <netinet/in.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cloud/upload.h"
#include "collection_server.h"
#include "logger/readings.h"
#include "support/image_builder.h"

inline sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

// Listens on a free loopback port, written to `port`.
inline SocketHandle ListenOnLoopback(int& port) {
    SocketHandle s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    bind(s.Get(), reinterpret_cast<sockaddr*>(&address), length);
    listen(s.Get(), 4);
    getsockname(s.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return s;
}

// Uploads `image` as the desktop program does, once GraphData has run for it.
inline bool UploadImage(const MemoryImage& image, const CloudServer& server) {
    return envia_nuvem(
        image, ConfigFromHeader(image.data()), [&image] { return ImageFirmware(image); }, server);
}

inline MemoryImage RampImage(int count, int offset = 0, ImageSpec spec = {}) {
    for (int i = 0; i < count; ++i) {
        spec.readings.push_back(300 + (i + offset) % 700);
    }
    return BuildImage(spec);
}

inline std::vector<int> UploadedTenths(const MemoryImage& image) {
    std::vector<int> tenths;
    for (int i = 0; i < ImageReadingCount(image); ++i) {
        tenths.push_back(ImageTemp_x10(image, ReadingAD(image, i)));
    }
    return tenths;
}

class FakeCloudServer {
  public:
    // "cc" to every message but message `at`, which gets `reply` ("" none, nullopt: closed).
    explicit FakeCloudServer(int at = -1, std::optional<std::string> reply = {})
        : at_(at), reply_(std::move(reply)), listener_(ListenOnLoopback(port)) {
        thread_ = std::jthread([this] { Serve(5000); });
    }

    void Finish() { thread_ = {}; }  // joined: the connection has ended, the fields below hold
    std::vector<Bytes> messages;
    bool client_closed = false;
    int port = 0;

  private:
    void Serve(int wait_ms) {
        if (!WaitReadable(listener_.Get(), wait_ms)) {
            return;
        }
        const SocketHandle connection(accept(listener_.Get(), nullptr, nullptr));
        Bytes buffer(MAX_PACKET_SIZE);
        for (int index = 0;; ++index) {
            std::size_t have = 0;
            FrameScan scan = ScanMessage({});
            while (scan.state == FrameState::NeedMore) {
                const ssize_t got = ReceiveOnce(
                    connection.Get(), std::span(buffer).subspan(have, scan.wanted - have), wait_ms);
                if (got <= 0) {
                    client_closed = got == 0 && have == 0;
                    return;
                }
                have += static_cast<std::size_t>(got);
                scan = ScanMessage(std::span(buffer).first(have));
            }
            messages.emplace_back(buffer.begin(), buffer.begin() + static_cast<long>(have));
            const std::optional<std::string> reply = index == at_ ? reply_ : "cc";
            if (scan.state == FrameState::Invalid || !reply) {
                return;
            }
            SendAll(connection.Get(), Bytes(reply->begin(), reply->end()), wait_ms);
        }
    }

    int at_;
    std::optional<std::string> reply_;
    SocketHandle listener_;
    std::jthread thread_;
};

// The collection server on a loopback port, storing in `db`.
struct LoopbackCollectionServer {
    explicit LoopbackCollectionServer(const std::string& db = ":memory:",
                                      int idle_timeout_ms = IDLE_TIMEOUT_MS) {
        std::string error;
        store = UploadStore::Open(db, &error);
        server = std::make_unique<CollectionServer>(
            *store, ServerOptions{"127.0.0.1", 0, idle_timeout_ms, MAX_CONNECTIONS});
        server->Listen(&error);
        serving = std::jthread([this] { server->Serve(); });
    }
    ~LoopbackCollectionServer() { server->Stop(); }
    CloudServer Address() const { return {"127.0.0.1", server->Port(), 2000, 3000}; }

    std::unique_ptr<UploadStore> store;
    std::unique_ptr<CollectionServer> server;
    std::jthread serving;  // joined after Stop()
};
