#pragma once
// A collection server's store and web view on a free loopback port, for the web tests.

#include <crypt.h>
#include <httplib.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
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
        upload_store = UploadStore::Open("uploads.sqlite", &error);
        web_store = WebStore::Open("uploads.sqlite", &error);
        options.port = 0;
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

    std::unique_ptr<UploadStore> upload_store;
    std::unique_ptr<WebStore> web_store;
    std::unique_ptr<WebServer> server;
    bool listening = false;
    std::string listen_error;
    std::thread thread;
};
