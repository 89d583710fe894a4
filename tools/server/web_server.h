#pragma once
// The collection server's web view over HTTP (libmicrohttpd): the pages of WebView, read
// only, on its own port, bound to the same address as the upload port. Anything but a
// loopback address needs a password file; with a certificate and key it speaks HTTPS.
//
// Event-driven, so that an idle or trickling client costs a descriptor and a little
// memory, never a thread: each connection is bounded in time and memory, and each
// address in the connections it may hold.

#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "reports/profile.h"
#include "web_auth.h"
#include "web_pages.h"

struct MHD_Daemon;
struct MHD_Connection;

constexpr int DEFAULT_WEB_PORT = 40080;
// Threads that serve every connection, each through its own epoll.
constexpr unsigned WEB_THREADS = 2;
// Connections at once, and from one address.
constexpr unsigned WEB_CONNECTIONS = 4000;
constexpr unsigned WEB_CONNECTIONS_PER_ADDRESS = 32;
// A connection that sends nothing for this long is closed.
constexpr unsigned WEB_IDLE_TIMEOUT_S = 10;

struct WebOptions {
    std::string bind_address = "127.0.0.1";
    int port = DEFAULT_WEB_PORT;  // 0: any free port (the server's --web-port 0 turns it off)
    std::string password_file;    // empty: no password asked
    std::string tls_cert;         // both or neither
    std::string tls_key;
    unsigned threads = WEB_THREADS;
    Profile profile = *BuiltInProfile(DEFAULT_PROFILE);  // what every recording is judged by
    AlertStore* alerts = nullptr;                        // none: no alerts to list
};

// Whether every address that `host` names is a loopback address (127.0.0.0/8, ::1).
bool IsLoopbackHost(const std::string& host);

class WebServer {
  public:
    WebServer(WebStore& store, WebOptions options);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Checks the options, loads the password file and the certificate, binds and starts
    // answering; false with `error` set when it cannot. Refuses a non-loopback address
    // without a password file.
    bool Listen(std::string* error);
    // What the server should say at start (plain HTTP on a non-loopback address).
    const std::vector<std::string>& Warnings() const { return warnings_; }
    int Port() const { return port_; }
    bool Tls() const { return !options_.tls_cert.empty(); }
    // Returns at Stop().
    void Serve();
    // Stops answering and closes every connection. Safe from any thread (not from a
    // signal handler).
    void Stop();

    // One request, from the library's threads.
    bool Answer(MHD_Connection* connection, const char* url, const char* method);

  private:
    WebResponse Route(MHD_Connection* connection, const std::string& url);
    // `path` is what follows "/api" or "/api/v1".
    WebResponse RouteApi(MHD_Connection* connection, std::string_view path);
    // The password, unless this address has failed too often of late; else the refusal.
    bool Admitted(MHD_Connection* connection, const char* authorization, WebResponse* refusal);

    WebStore& store_;
    WebView view_;
    WebOptions options_;
    WebAuth auth_;
    LoginThrottle throttle_;
    bool need_password_ = false;
    MHD_Daemon* daemon_ = nullptr;
    std::vector<std::string> warnings_;
    int port_ = 0;
    std::mutex state_mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;  // under state_mutex_
};
