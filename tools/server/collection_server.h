#pragma once
// The collection server: accepts cards' uploads over TCP, many at once, checks every
// message with the same code the upload builds them with, and stores each complete
// upload. Replies "cc" to a valid message, and to the end message only once the upload is
// durable; anything else gets "ee" and the connection closes. Nothing of an incomplete
// upload is stored.
//
// One thread serves every connection through epoll, so an idle or trickling client costs a
// descriptor and a few bytes, never a thread; a second thread writes to the database, so
// that a slow disk or a locked database does not hold the other connections up.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cloud/socket_io.h"
#include "upload_session.h"
#include "upload_store.h"

constexpr int DEFAULT_SERVER_PORT = 40000;
// A connection silent this long is dropped.
constexpr int IDLE_TIMEOUT_MS = 30000;
// A card sends its header at once; a client without a valid header by then is dropped.
constexpr int HEADER_TIMEOUT_MS = 5000;
// Connections served at once. Beyond it the oldest connection that has not sent a valid
// header makes way; when every one has, the address that holds the most connections gives
// up the one whose upload moved least recently. A header is easy to forge, so holding a
// slot must cost progress: a client that trickles keeps none against a card that uploads.
// Addresses are not capped outright, as a site's cards may share one address.
constexpr int MAX_CONNECTIONS = 4000;

struct ServerOptions {
    std::string bind_address = "127.0.0.1";
    int port = DEFAULT_SERVER_PORT;  // 0: any free port
    int idle_timeout_ms = IDLE_TIMEOUT_MS;
    int max_connections = MAX_CONNECTIONS;
    int header_timeout_ms = HEADER_TIMEOUT_MS;
};

class CollectionServer {
  public:
    CollectionServer(UploadStore& store, ServerOptions options);
    // Stops serving and closes every connection.
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
    struct StoreJob {
        std::uint64_t connection;
        std::string peer;
        UploadHeader header;
        std::vector<int> readings;
    };
    struct StoreResult {
        std::uint64_t connection;
        bool stored;
        std::string why;
    };
    // One Serve(): the connections and what the event loop does with them.
    class Loop;
    void StoreLoop();

    UploadStore& store_;
    ServerOptions options_;
    SocketHandle listener_;
    SocketHandle stop_read_;
    SocketHandle stop_write_;
    SocketHandle stored_read_;  // wakes the event loop when a store has finished
    SocketHandle stored_write_;
    int port_ = 0;

    std::mutex jobs_mutex_;
    std::condition_variable jobs_ready_;
    std::deque<StoreJob> jobs_;
    std::vector<StoreResult> results_;
    bool stopping_ = false;  // under jobs_mutex_
    std::thread storer_;
};
