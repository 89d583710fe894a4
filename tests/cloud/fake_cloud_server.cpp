#include "cloud/fake_cloud_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

constexpr int kWaitMs = 5000;

SocketHandle ListenOnLoopback(int& port) {
    SocketHandle s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(s.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(s.Get(), 4);
    socklen_t length = sizeof address;
    getsockname(s.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return s;
}

}  // namespace

FakeAnswer ReplyWith(std::string_view text) {
    return {FakeAnswer::Kind::Reply, Bytes(text.begin(), text.end())};
}
FakeAnswer CloseConnection() {
    return {FakeAnswer::Kind::Close, {}};
}
FakeAnswer StaySilent() {
    return {FakeAnswer::Kind::Silent, {}};
}

int UnusedPort() {
    int port = 0;
    ListenOnLoopback(port);  // closed again at once
    return port;
}

FakeCloudServer::FakeCloudServer(Script script) : script_(std::move(script)) {
    if (!script_) {
        script_ = [](int, const Bytes&) { return ReplyWith("cc"); };
    }
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Run(); });
}

FakeCloudServer::~FakeCloudServer() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::vector<Bytes> FakeCloudServer::Messages() {
    if (thread_.joinable()) {
        thread_.join();
    }
    std::lock_guard lock(mutex_);
    return messages_;
}

bool FakeCloudServer::ClientClosed() {
    Messages();
    std::lock_guard lock(mutex_);
    return client_closed_;
}

void FakeCloudServer::Run() {
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
                std::lock_guard lock(mutex_);
                client_closed_ = got == 0 && have == 0;
                return;
            }
            have += static_cast<std::size_t>(got);
            scan = ScanMessage(std::span(buffer).first(have));
        }
        const Bytes message(buffer.begin(), buffer.begin() + static_cast<long>(have));
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(message);
        }
        if (scan.state == FrameState::Invalid) {
            return;
        }
        const FakeAnswer answer = script_(index, message);
        if (answer.kind == FakeAnswer::Kind::Close) {
            return;
        }
        if (answer.kind == FakeAnswer::Kind::Reply) {
            SendAll(connection.Get(), answer.bytes, kWaitMs);
        }
    }
}
