#pragma once
// The collection server: accepts cards' uploads over TCP, several at once, checks every
// message with the same code the upload builds them with, and stores each complete
// upload. Replies "cc" to a valid message; anything else gets "ee" and the connection
// closes. Nothing of an incomplete upload is stored.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cloud/socket_io.h"
#include "upload_store.h"

constexpr int DEFAULT_SERVER_PORT = 40000;
// A connection silent this long is dropped.
constexpr int IDLE_TIMEOUT_MS = 30000;
// Connections served at once; more are closed at once.
constexpr int MAX_CONNECTIONS = 64;
inline constexpr std::array<std::uint8_t, 2> REPLY_REJECTED = {'e', 'e'};

struct ServerOptions {
    std::string bind_address = "127.0.0.1";
    int port = DEFAULT_SERVER_PORT;  // 0: any free port
    int idle_timeout_ms = IDLE_TIMEOUT_MS;
    int max_connections = MAX_CONNECTIONS;
};

class CollectionServer {
  public:
    CollectionServer(UploadStore& store, ServerOptions options);
    // Stops serving and waits for every connection to end.
    ~CollectionServer();
    CollectionServer(const CollectionServer&) = delete;
    CollectionServer& operator=(const CollectionServer&) = delete;

    // Binds and listens; false with `error` set when it cannot.
    bool Listen(std::string* error);
    // The port listened on (useful with port 0).
    int Port() const { return port_; }
    // Serves until Stop().
    void Serve();
    // Safe from any thread and from a signal handler.
    void Stop();

  private:
    void Session(int fd, const std::string& peer);
    void ReapFinished();

    UploadStore& store_;
    ServerOptions options_;
    SocketHandle listener_;
    SocketHandle stop_read_;
    SocketHandle stop_write_;
    int port_ = 0;

    std::mutex workers_mutex_;
    std::map<int, std::thread> workers_;
    std::vector<int> finished_;
    int next_worker_ = 0;
};
