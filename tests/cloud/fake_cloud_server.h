#pragma once
// Servers on loopback ports for the cloud tests: a scripted stand-in that takes one
// connection and answers each message as the test says, and the real collection server.

#include <arpa/inet.h>
#include <netinet/in.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cloud/upload.h"
#include "collection_server.h"

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

// Where a client finds a server on loopback `port`.
inline CloudServer Loopback(int port) {
    return {"127.0.0.1", port, 2000, 3000};
}

// Uploads `image` as the desktop program does, once GraphData has run for it.
inline bool UploadImage(const MemoryImage& image, const CloudServer& server) {
    return envia_nuvem(
        image, ConfigFromHeader(image.data()), [&image] { return ImageFirmware(image); }, server);
}

class FakeCloudServer {
  public:
    // The reply to message `index` (from 0): "" sends nothing, nullopt closes the connection.
    using Script = std::function<std::optional<std::string>(int index)>;
    explicit FakeCloudServer(Script script = [](int) { return "cc"; })
        : script_(std::move(script)) {
        listener_ = ListenOnLoopback(port);
        thread_ = std::thread([this] { Run(); });
    }
    ~FakeCloudServer() { Finish(); }

    // Waits (a few seconds at most) for the connection to end; then the fields below hold.
    void Finish() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    int port = 0;
    std::vector<Bytes> messages;
    bool client_closed = false;

  private:
    void Run() {
        constexpr int kWaitMs = 5000;
        if (!WaitReadable(listener_.Get(), kWaitMs)) {
            return;
        }
        const SocketHandle connection(accept(listener_.Get(), nullptr, nullptr));
        Bytes buffer(MAX_PACKET_SIZE);
        for (int index = 0;; ++index) {
            std::size_t have = 0;
            FrameScan scan = ScanMessage({});
            while (scan.state == FrameState::NeedMore) {
                const ssize_t got = ReceiveOnce(
                    connection.Get(), std::span(buffer).subspan(have, scan.wanted - have), kWaitMs);
                if (got <= 0) {
                    client_closed = got == 0 && have == 0;
                    return;
                }
                have += static_cast<std::size_t>(got);
                scan = ScanMessage(std::span(buffer).first(have));
            }
            messages.emplace_back(buffer.begin(), buffer.begin() + static_cast<long>(have));
            const std::optional<std::string> reply = script_(index);
            if (scan.state == FrameState::Invalid || !reply) {
                return;
            }
            SendAll(connection.Get(), Bytes(reply->begin(), reply->end()), kWaitMs);
        }
    }

    Script script_;
    SocketHandle listener_;
    std::thread thread_;
};

// The collection server on a loopback port, storing in `db`.
struct LoopbackCollectionServer {
    explicit LoopbackCollectionServer(const std::string& db = ":memory:",
                                      int idle_timeout_ms = IDLE_TIMEOUT_MS) {
        std::string error;
        store = UploadStore::Open(db, &error);
        server = std::make_unique<CollectionServer>(
            *store, ServerOptions{"127.0.0.1", 0, idle_timeout_ms, MAX_CONNECTIONS});
        if (!server->Listen(&error)) {
            throw std::runtime_error(error);
        }
        serving = std::thread([this] { server->Serve(); });
    }
    ~LoopbackCollectionServer() {
        server->Stop();
        serving.join();
    }
    CloudServer Address() const { return Loopback(server->Port()); }

    std::unique_ptr<UploadStore> store;
    std::unique_ptr<CollectionServer> server;
    std::thread serving;
};
