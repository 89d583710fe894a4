// How long the collection server's web view takes, in server time (the Server-Timing
// each answer carries), with a store of 10,000 uploads of 2,000 readings (100 cards of
// 100 uploads) and one upload of 32,000 readings. Each figure: the first request (no
// summary in memory yet) and the median and worst of the next RUNS.
//
//   razurozavi-web-timings [DIR] [RUNS]    (DIR keeps the database between runs)

#include <httplib.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "upload_store.h"
#include "web_server.h"
#include "web_store.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCards = 100;
constexpr int kUploadsPerCard = 100;
constexpr int kReadings = 2000;
constexpr int kLargest = 32000;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The store as the collection server leaves it, written in bulk: the schema is
// UploadStore's, the rows those its Store writes.
void Fill(const std::string& path) {
    std::string error;
    UploadStore::Open(path, &error);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* upload = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO uploads (received, peer, serial, description, low_alarm_x10, "
                       "high_alarm_x10, start_delay, alarm_delay, sample_points, sample_rate, "
                       "stamp_hour, stamp_minute, stamp_second, stamp_day, stamp_month, "
                       "stamp_year, firmware, software, temp_unit) VALUES (?, '127.0.0.1', ?, ?, "
                       "20, 80, 0, 600, ?, 300, 12, 0, 0, ?, ?, 25, '1.0.3', '1.0.4', 0)",
                       -1, &upload, nullptr);
    sqlite3_stmt* reading = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO upload_tenths (upload_id, tenths) VALUES (?, ?)", -1,
                       &reading, nullptr);
    const auto add = [&](int serial, int k, int count) {
        char received[32];
        std::snprintf(received, sizeof received, "2025-%02d-%02d 12:00:00", 1 + k / 28 % 12,
                      1 + k % 28);
        sqlite3_bind_text(upload, 1, received, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(upload, 2, serial);
        const std::string description = "Camara fria " + std::to_string(serial);
        sqlite3_bind_text(upload, 3, description.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(upload, 4, count);
        sqlite3_bind_int(upload, 5, 1 + k % 28);
        sqlite3_bind_int(upload, 6, 1 + k / 28 % 12);
        sqlite3_step(upload);
        sqlite3_reset(upload);
        const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
        std::vector<int> tenths(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            tenths[static_cast<std::size_t>(i)] =
                50 + static_cast<int>(25 * std::sin(i / 40.0)) + (i % 997 == 5 ? 60 : 0);
        }
        const std::string blob = PackTenths(tenths);
        sqlite3_bind_int64(reading, 1, id);
        sqlite3_bind_blob(reading, 2, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
        sqlite3_step(reading);
        sqlite3_reset(reading);
    };
    for (int k = 0; k < kUploadsPerCard; ++k) {
        for (int card = 0; card < kCards; ++card) {
            add(100000 + card, k, kReadings);
        }
    }
    add(999999, 0, kLargest);
    sqlite3_finalize(upload);
    sqlite3_finalize(reading);
    sqlite3_exec(db,
                 "INSERT INTO cards (serial, uploads, last_id) SELECT serial, COUNT(*), MAX(id) "
                 "FROM uploads GROUP BY serial; COMMIT",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

double ServerMs(const httplib::Result& r) {
    if (!r || r->status != 200) {
        return -1;
    }
    const std::string timing = r->get_header_value("Server-Timing");
    return std::atof(timing.c_str() + timing.find('=') + 1);
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path dir = argc > 1 ? argv[1] : "web-timings";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "uploads.sqlite").string();
    if (!std::filesystem::exists(path)) {
        const auto start = Clock::now();
        Fill(path);
        std::printf("filled %s: %d uploads of %d readings and one of %d, in %.0f s\n", path.c_str(),
                    kCards * kUploadsPerCard, kReadings, kLargest, SecondsSince(start));
    }
    std::string error;
    const auto start = Clock::now();
    const std::unique_ptr<WebStore> store = WebStore::Open(path, &error);
    if (!store) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("opened (indexes made when missing) in %.2f s\n", SecondsSince(start));
    WebOptions options;
    options.port = 0;
    WebServer server(*store, options);
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::thread serving([&] { server.Serve(); });
    httplib::Client client("127.0.0.1", server.Port());
    client.set_read_timeout(60, 0);
    const long long largest = kCards * kUploadsPerCard + 1;
    const std::string some = std::to_string(kCards * kUploadsPerCard - 7);
    const std::vector<std::string> paths = {
        "/",
        "/?pagina=2",
        "/cards/100042",
        "/cards/100042?pagina=4",
        "/api/cards",
        "/api/cards/100042",
        "/uploads/" + some,
        "/uploads/" + some + ".csv",
        "/api/uploads/" + some,
        "/uploads/" + std::to_string(largest),
        "/uploads/" + std::to_string(largest) + "?pagina=64",
        "/uploads/" + std::to_string(largest) + ".csv",
        "/api/uploads/" + std::to_string(largest),
    };
    std::printf("%-28s %10s %10s %10s %10s  (server ms)\n", "page", "first", "median", "worst",
                "bytes");
    for (const std::string& p : paths) {
        const httplib::Result first_result = client.Get(p.c_str());
        const double first = ServerMs(first_result);
        std::vector<double> times;
        for (int k = 0; k < runs; ++k) {
            times.push_back(ServerMs(client.Get(p.c_str())));
        }
        std::sort(times.begin(), times.end());
        std::printf("%-28s %10.2f %10.2f %10.2f %10zu\n", p.c_str(), first, times[times.size() / 2],
                    times.back(), first_result ? first_result->body.size() : 0);
    }
    server.Stop();
    serving.join();
    return 0;
}
