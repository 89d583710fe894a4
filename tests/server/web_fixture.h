#pragma once
// A collection server's store, alerts and web view on a free loopback port, for the web tests.

#include <arpa/inet.h>
#include <crypt.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "alert_store.h"
#include "support/temp_dir.h"
#include "test_database.h"
#include "upload_store.h"
#include "web_server.h"
#include "web_store.h"

// An upload header with the fields the tests vary.
inline UploadHeader TestHeader(long serial, const std::string& description_cp1252,
                               int sample_rate = 300, CALENDAR stamp = {0, 0, 12, 10, 6, 24}) {
    UploadHeader h;
    h.serial = serial;
    h.descricao.fill(' ');
    std::memcpy(h.descricao.data(), description_cp1252.data(),
                std::min(description_cp1252.size(), h.descricao.size()));
    h.low_alarm_x10 = 20;
    h.high_alarm_x10 = 80;
    h.alarm_delay = 600;
    h.sample_points = 2000;
    h.sample_rate = sample_rate;
    h.stamp = stamp;
    h.firmware = {1, 0, 3};
    return h;
}

// A crypt(3) hash of `password`, as mkpasswd would make it (yescrypt).
inline std::string CryptHash(const std::string& password) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting);
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof(crypt_data));
    return crypt_rn(password.c_str(), setting, data.get(), sizeof(crypt_data));
}

class WebFixture {
  public:
    explicit WebFixture(WebOptions options = {}) {
        std::string error;
        const std::string db = FreshTestDatabase("uploads.sqlite");
        upload_store = UploadStore::Open(db, &error);
        web_store = WebStore::Open(db, &error);
        alert_store = AlertStore::Open(db, &error);
        options.port = 0;
        options.alerts = alert_store.get();
        server = std::make_unique<WebServer>(*web_store, options);
        listening = server->Listen(&error);
        listen_error = error;
        if (listening) {
            thread = std::thread([this] { server->Serve(); });
        }
    }
    ~WebFixture() {
        server->Stop();
        if (thread.joinable()) {
            thread.join();
        }
    }
    long long Store(const UploadHeader& header, const std::vector<int>& tenths,
                    const std::string& peer = "127.0.0.1") {
        upload_store->Store(peer, header, tenths);
        return static_cast<long long>(upload_store->List().back().id);
    }
    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", server->Port());
        client.set_read_timeout(20, 0);
        return client;
    }
    httplib::Result Get(const std::string& path) const { return Client().Get(path.c_str()); }
    std::string Body(const std::string& path) const {
        const httplib::Result r = Get(path);
        return r ? r->body : "no answer";
    }

    std::unique_ptr<UploadStore> upload_store;
    std::unique_ptr<WebStore> web_store;
    std::unique_ptr<AlertStore> alert_store;
    std::unique_ptr<WebServer> server;
    bool listening = false;
    std::string listen_error;
    std::thread thread;
};

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// Options serving a new cert.pem and key.pem; nothing without the openssl command.
inline std::optional<WebOptions> TlsOptions() {
    if (std::system("openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem "
                    "-days 2 -subj /CN=localhost >/dev/null 2>&1") != 0) {
        return std::nullopt;
    }
    WebOptions options;
    options.tls_cert = "cert.pem";
    options.tls_key = "key.pem";
    return options;
}

// A connection from loopback address `source`, as from another machine; -1 on failure.
inline int ConnectFrom(const std::string& source, int port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bind(s, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
        connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        close(s);
        return -1;
    }
    timeval timeout{3, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    return s;
}

// `request` from `source`, `then` once answered; all that comes back within 3 s.
inline std::string Raw(int port, const std::string& request,
                       const std::string& source = "127.0.0.1", const std::string& then = "") {
    const int s = ConnectFrom(source, port);
    std::string answer;
    if (s >= 0) {
        std::size_t sent = 0;
        while (sent < request.size()) {
            const ssize_t n = send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
        char buffer[4096];
        for (ssize_t n = 0; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) {
            if (answer.empty() && !then.empty()) {
                send(s, then.data(), then.size(), MSG_NOSIGNAL);
            }
            answer.append(buffer, static_cast<std::size_t>(n));
        }
        close(s);
    }
    return answer;
}

// Whether this process may hold `wanted` descriptors, once raised to the hard limit.
inline bool RaiseDescriptorLimitTo(rlim_t wanted) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= wanted;
}

inline std::string StatusLine(const std::string& answer) {
    return answer.substr(0, answer.find("\r\n"));
}
