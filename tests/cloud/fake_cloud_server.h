#pragma once
// An in-process stand-in for the collection server on a loopback ephemeral port: it
// takes one connection, splits what arrives into messages and answers each as the test
// scripts it.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "cloud/socket_io.h"
#include "cloud/upload_messages.h"

struct FakeAnswer {
    enum class Kind { Reply, Close, Silent } kind = Kind::Reply;
    Bytes bytes;
};

FakeAnswer ReplyWith(std::string_view text);
FakeAnswer CloseConnection();
FakeAnswer StaySilent();

class FakeCloudServer {
  public:
    // Answers message `index` (from 0); by default "cc" to everything.
    using Script = std::function<FakeAnswer(int index, const Bytes& message)>;
    explicit FakeCloudServer(Script script = nullptr);
    ~FakeCloudServer();

    int Port() const { return port_; }
    // Waits (a few seconds at most) for the connection to end, then what it carried.
    std::vector<Bytes> Messages();
    // True when the client closed its end.
    bool ClientClosed();

  private:
    void Run();

    Script script_;
    SocketHandle listener_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Bytes> messages_;
    bool client_closed_ = false;
};

// A loopback port with nobody listening on it.
int UnusedPort();
