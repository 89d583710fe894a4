#pragma once
// The collection server's web view over HTTP (cpp-httplib): the pages of WebView, read
// only, on its own port, bound to the same address as the upload port. Anything but a
// loopback address needs a password file; with a certificate and key it speaks HTTPS.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "web_auth.h"
#include "web_pages.h"

namespace httplib {
class Server;
}

constexpr int DEFAULT_WEB_PORT = 40080;
// Connections served at once by the view's threads; more wait their turn.
constexpr int WEB_THREADS = 8;

struct WebOptions {
    std::string bind_address = "127.0.0.1";
    int port = DEFAULT_WEB_PORT;  // 0: any free port (the server's --web-port 0 turns it off)
    std::string password_file;    // empty: no password asked
    std::string tls_cert;         // both or neither
    std::string tls_key;
    int threads = WEB_THREADS;
};

// Whether every address that `host` names is a loopback address (127.0.0.0/8, ::1).
bool IsLoopbackHost(const std::string& host);

class WebServer {
  public:
    WebServer(WebStore& store, WebOptions options);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Checks the options, loads the password file and the certificate, binds; false with
    // `error` set when it cannot. Refuses a non-loopback address without a password file.
    bool Listen(std::string* error);
    // What the server should say at start (plain HTTP on a non-loopback address).
    const std::vector<std::string>& Warnings() const { return warnings_; }
    int Port() const { return port_; }
    bool Tls() const { return !options_.tls_cert.empty(); }
    // Serves until Stop().
    void Serve();
    // Safe from any thread (not from a signal handler).
    void Stop();

  private:
    void Route();

    WebView view_;
    WebOptions options_;
    WebAuth auth_;
    bool need_password_ = false;
    std::unique_ptr<httplib::Server> http_;
    std::vector<std::string> warnings_;
    int port_ = 0;
    std::mutex state_mutex_;
    bool stopping_ = false;
    bool serving_ = false;
    std::atomic<bool> served_{false};
};
