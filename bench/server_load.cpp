// The collection server under load, for BENCHMARKS.md: uploads of 2,000 readings stored a
// second, the store's size per upload and so for five years of 100 cards uploading daily,
// GET / beside 1,000 idle connections, and the server's peak memory while 8 clients ask
// for a CSV file with 1,000 ranges. Usage: razurozavi-server-load DIR SERVER_PROGRAM
// [--db DB] (DIR empty or missing; DB a PostgreSQL URI of an empty database, or else the
// SQLite file DIR/load.sqlite; all on loopback, every loop bounded).

#include <arpa/inet.h>
#include <httplib.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "cloud/socket_io.h"
#include "cloud/upload_messages.h"
#include "collection_server.h"
#include "pg_connection.h"
#include "upload_store.h"
#include "web_server.h"
#include "web_store.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kReadings = 2000;
constexpr int kClients = 8;
constexpr double kStoreSeconds = 5;
constexpr double kFiveYearsOfUploads = 100.0 * 365 * 5;

int ConnectFrom(const std::string& source, int port) {
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
    return s;
}

// One upload as a card sends it; true when every message got "cc".
bool Upload(int port, long serial, int offset) {
    const SocketHandle s(ConnectFrom("127.0.0.1", port));
    UploadHeader header;
    header.serial = serial;
    header.descricao.fill(' ');
    header.sample_rate = 300;
    header.stamp = {0, static_cast<unsigned char>(offset % 60), 12, 10, 6, 24};
    std::vector<int> tenths(kReadings);
    for (int i = 0; i < kReadings; ++i) {
        tenths[static_cast<std::size_t>(i)] = 50 + (i + offset) % 40;
    }
    tenths[0] = offset % 30000;  // each upload its own recording

    for (const Bytes& message : {BuildHeaderMessage(header), BuildDataPacket(tenths),
                                 Bytes(END_MESSAGE.begin(), END_MESSAGE.end())}) {
        std::array<std::uint8_t, 2> reply{};
        if (SendAll(s.Get(), message, 5000) || ReceiveOnce(s.Get(), reply, 5000) != 2 ||
            reply[0] != 'c') {
            return false;
        }
    }
    return true;
}

long PeakKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

// The bytes the store takes: the file, or PostgreSQL's tables with their indexes.
double StoreBytes(const std::string& db) {
    if (!IsPostgresDatabase(db)) {
        return static_cast<double>(std::filesystem::file_size(db));
    }
    PgConnection pg(db);
    std::string error;
    pg.Ready(&error);
    const PgResult r = pg.Run(
        "SELECT sum(pg_total_relation_size(oid)) FROM pg_class"
        " WHERE relkind = 'r' AND relnamespace = 'public'::regnamespace");
    return r.Rows() == 1 ? static_cast<double>(r.Int(0, 0)) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 5 && std::strcmp(argv[3], "--db") == 0)) {
        std::fprintf(stderr, "usage: razurozavi-server-load DIR SERVER_PROGRAM [--db DB]\n");
        return 2;
    }
    std::filesystem::create_directories(argv[1]);
    const std::string db = argc == 5 ? argv[4] : std::string(argv[1]) + "/load.sqlite";
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    std::unique_ptr<UploadStore> store = UploadStore::Open(db, &error);
    if (!store) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (!store->List().empty()) {
        std::fprintf(stderr, "%s holds uploads already\n", db.c_str());
        return 1;
    }
    {
        CollectionServer server(*store, ServerOptions{"127.0.0.1", 0});
        server.Listen(&error);
        std::thread serving([&] { server.Serve(); });
        std::atomic<int> stored{0};
        std::atomic<int> next{0};
        const auto begin = Clock::now();
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&] {
                while (std::chrono::duration<double>(Clock::now() - begin).count() <
                       kStoreSeconds) {
                    const int k = next++;
                    stored += Upload(server.Port(), 100000 + k % 100, k) ? 1 : 0;
                }
            });
        }
        for (std::thread& t : clients) {
            t.join();
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
        server.Stop();
        serving.join();
        std::printf("uploads of %d readings stored: %d in %.1f s, %.0f a second (%d clients)\n",
                    kReadings, stored.load(), seconds, stored / seconds, kClients);
        const double bytes = StoreBytes(db);
        std::printf("store: %.0f bytes an upload; five years of 100 cards daily: %.2f GB\n",
                    bytes / stored, bytes / stored * kFiveYearsOfUploads / 1e9);
    }

    // A CSV of 1.65 MB: 34,000 readings.
    UploadHeader large;
    large.serial = 999999;
    large.descricao.fill(' ');
    large.sample_rate = 60;
    std::vector<int> tenths(34000);
    for (std::size_t i = 0; i < tenths.size(); ++i) {
        tenths[i] = -200 + static_cast<int>(i % 700);
    }
    store->Store("127.0.0.1", large, tenths);
    const long long large_id = store->List().back().id;
    store.reset();

    {
        std::unique_ptr<WebStore> web_store = WebStore::Open(db, &error);
        WebOptions options;
        options.port = 0;
        WebServer web(*web_store, options);
        web.Listen(&error);
        std::thread serving([&] { web.Serve(); });
        std::vector<int> idle;
        for (int k = 0; k < 1000; ++k) {
            char from[32];
            std::snprintf(from, sizeof from, "127.0.1.%d", 1 + k % 40);
            idle.push_back(ConnectFrom(from, web.Port()));
        }
        httplib::Client client("127.0.0.1", web.Port());
        client.set_connection_timeout(5, 0);
        client.set_read_timeout(5, 0);
        std::vector<double> ms;
        // Three answers that do not come within 5 s end the count: the view is down.
        int failed = 0;
        for (int k = 0; k < 200 && failed < 3; ++k) {
            const auto begin = Clock::now();
            const httplib::Result r = client.Get("/");
            failed += r && r->status == 200 ? 0 : 1;
            ms.push_back(
                r && r->status == 200
                    ? std::chrono::duration<double, std::milli>(Clock::now() - begin).count()
                    : 1e9);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("GET / beside 1000 idle connections: median %.1f ms, p99 %.1f ms\n",
                    ms[ms.size() / 2], ms[ms.size() * 99 / 100]);
        for (const int s : idle) {
            close(s);
        }
        web.Stop();
        serving.join();
    }

    const int web_port = FreePort();
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string port = std::to_string(web_port);
        execl(argv[2], argv[2], "--port", "0", "--web-port", port.c_str(), "--db", db.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long before = PeakKb(pid);
    std::string ranges = "bytes=0-";
    for (int k = 0; k < 999; ++k) {
        ranges += ",0-";
    }
    std::atomic<long long> answered{0};
    std::vector<std::thread> attackers;
    for (int c = 0; c < kClients; ++c) {
        attackers.emplace_back([&] {
            httplib::Client client("127.0.0.1", web_port);
            client.set_read_timeout(60, 0);
            for (int k = 0; k < 3; ++k) {
                const httplib::Result r = client.Get(
                    "/uploads/" + std::to_string(large_id) + ".csv", {{"Range", ranges}});
                answered += r ? static_cast<long long>(r->body.size()) : 0;
            }
        });
    }
    for (std::thread& t : attackers) {
        t.join();
    }
    const long after = PeakKb(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::printf(
        "Range attack (8 clients x 3, 1000 ranges on the CSV): %.1f MB answered, "
        "server peak %.1f MB before, %.1f MB after\n",
        static_cast<double>(answered) / 1e6, before / 1024.0, after / 1024.0);
    return 0;
}
