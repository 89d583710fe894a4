// How long the collection server's web view takes, in server time (the Server-Timing
// each answer carries), with a store of 100 cards that each uploaded 2,000 readings once a
// day for DAYS days (100 by default; 1825 is five years, 182,500 uploads) and one upload
// of 32,000 readings. Each figure: the first request (no summary in memory yet) and the
// median and worst of the next RUNS.
//
//   razurozavi-web-timings [--db postgresql://...] [--days DAYS] [DIR] [RUNS]
//
// DIR keeps the SQLite database between runs; a PostgreSQL database is filled when it
// has no uploads yet, and kept.

#include <httplib.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "pg_connection.h"
#include "upload_store.h"
#include "web_pages.h"
#include "web_server.h"
#include "web_store.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCards = 100;
constexpr int kReadings = 2000;
constexpr int kLargest = 32000;
// The first day of the uploads; each card uploads once a day from it on.
constexpr std::chrono::year_month_day kFirstDay{std::chrono::year{2021}, std::chrono::month{1},
                                                std::chrono::day{1}};

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<int> Tenths(int count) {
    std::vector<int> tenths(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        tenths[static_cast<std::size_t>(i)] =
            50 + static_cast<int>(25 * std::sin(i / 40.0)) + (i % 997 == 5 ? 60 : 0);
    }
    return tenths;
}

// The store as the collection server leaves it, written in bulk: the schema is
// UploadStore's, the rows those its Store writes.
void FillSqlite(const std::string& path, int days) {
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
                       "20, 80, 0, 600, ?, 300, 12, 0, 0, ?, ?, ?, '1.0.3', '1.0.4', 0)",
                       -1, &upload, nullptr);
    sqlite3_stmt* reading = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO upload_tenths (upload_id, tenths) VALUES (?, ?)", -1,
                       &reading, nullptr);
    const auto add = [&](int serial, int k, int count) {
        const std::chrono::year_month_day day{std::chrono::sys_days{kFirstDay} +
                                              std::chrono::days{k}};
        const int year = static_cast<int>(day.year());
        const auto month = static_cast<unsigned>(day.month());
        const auto mday = static_cast<unsigned>(day.day());
        char received[32];
        std::snprintf(received, sizeof received, "%04d-%02u-%02u 12:00:00", year, month, mday);
        sqlite3_bind_text(upload, 1, received, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(upload, 2, serial);
        const std::string description = "Camara fria " + std::to_string(serial);
        sqlite3_bind_text(upload, 3, description.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(upload, 4, count);
        sqlite3_bind_int(upload, 5, static_cast<int>(mday));
        sqlite3_bind_int(upload, 6, static_cast<int>(month));
        sqlite3_bind_int(upload, 7, year % 100);
        sqlite3_step(upload);
        sqlite3_reset(upload);
        const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
        const std::string blob = PackTenths(Tenths(count));
        sqlite3_bind_int64(reading, 1, id);
        sqlite3_bind_blob(reading, 2, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
        sqlite3_step(reading);
        sqlite3_reset(reading);
    };
    for (int k = 0; k < days; ++k) {
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

// The same rows into PostgreSQL, made by the database itself a day at a time, each
// month's readings in the partition the server would have made for it.
bool FillPostgres(const std::string& uri, int days) {
    std::string error;
    std::unique_ptr<UploadStore> store = UploadStore::Open(uri, &error);
    PgConnection db(uri);
    if (!store || !db.Ready(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    const PgParam blob{PackTenths(Tenths(kReadings)), true};
    const auto run = [&](const char* sql, const std::vector<PgParam>& params) {
        if (!db.Run(sql, params).Ok()) {
            std::fprintf(stderr, "%s\n", db.Error().c_str());
            return false;
        }
        return true;
    };
    char first[16];
    std::snprintf(first, sizeof first, "%04d-%02u-%02u", static_cast<int>(kFirstDay.year()),
                  static_cast<unsigned>(kFirstDay.month()), static_cast<unsigned>(kFirstDay.day()));
    for (int k = 0; k < days; ++k) {
        const std::vector<PgParam> params = {
            blob, {first, false}, {std::to_string(k), false}, {std::to_string(kReadings), false}};
        if (!run("BEGIN", {}) ||
            !run("SELECT razurozavi_month_partition(date_trunc('month', $1::date + $2::integer)"
                 "::date)",
                 {params[1], params[2]}) ||
            !run("WITH d AS (SELECT $2::date + $3::integer AS day),"
                 " u AS (INSERT INTO uploads (received, peer, serial, description, low_alarm_x10,"
                 " high_alarm_x10, start_delay, alarm_delay, sample_points, sample_rate,"
                 " stamp_hour, stamp_minute, stamp_second, stamp_day, stamp_month, stamp_year,"
                 " firmware, software, temp_unit, tenths_sha256, readings)"
                 " SELECT to_char(day, 'YYYY-MM-DD') || ' 12:00:00', '127.0.0.1', 100000 + c,"
                 " 'Camara fria ' || (100000 + c), 20, 80, 0, 600, $4::integer, 300, 12, 0, 0,"
                 " extract(day FROM day), extract(month FROM day), extract(year FROM day)::integer"
                 " % 100, '1.0.3', '1.0.4', 0, sha256($1::bytea), $4::integer"
                 " FROM d, generate_series(0, 99) c ORDER BY c RETURNING id, month)"
                 " INSERT INTO upload_tenths (upload_id, month, tenths)"
                 " SELECT id, month, $1::bytea FROM u",
                 params) ||
            !run("COMMIT", {})) {
            return false;
        }
    }
    UploadHeader largest;
    largest.serial = 999999;
    largest.descricao.fill(' ');
    largest.sample_rate = 300;
    if (!store->Store("127.0.0.1", largest, Tenths(kLargest), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return run("INSERT INTO cards (serial, uploads, last_id) SELECT serial, count(*), max(id)"
               " FROM uploads GROUP BY serial"
               " ON CONFLICT (serial) DO UPDATE SET uploads = excluded.uploads,"
               " last_id = excluded.last_id",
               {}) &&
           run("VACUUM ANALYZE", {});
}

long long PostgresUploads(const std::string& uri) {
    std::string error;
    if (!UploadStore::Open(uri, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return -1;
    }
    PgConnection db(uri);
    db.Ready(&error);
    const PgResult r = db.Run("SELECT count(*) FROM uploads");
    return r.Rows() == 1 ? r.Int(0, 0) : -1;
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
    std::string db;
    int days = 100;
    std::vector<std::string> positional;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--db") == 0 && k + 1 < argc) {
            db = argv[++k];
        } else if (std::strcmp(argv[k], "--days") == 0 && k + 1 < argc) {
            days = std::max(1, std::atoi(argv[++k]));
        } else {
            positional.emplace_back(argv[k]);
        }
    }
    const std::filesystem::path dir = !positional.empty() ? positional[0] : "web-timings";
    const int runs = positional.size() > 1 ? std::max(1, std::atoi(positional[1].c_str())) : 20;
    const long long uploads = static_cast<long long>(kCards) * days;
    bool filled = false;
    const auto fill_start = Clock::now();
    if (IsPostgresDatabase(db)) {
        const long long found = PostgresUploads(db);
        if (found < 0) {
            return 1;
        }
        if (found == 0) {
            if (!FillPostgres(db, days)) {
                return 1;
            }
            filled = true;
        } else if (found != uploads + 1) {
            std::fprintf(stderr, "%s holds %lld uploads, not %lld\n", db.c_str(), found,
                         uploads + 1);
            return 1;
        }
    } else {
        std::filesystem::create_directories(dir);
        db = (dir / ("uploads-" + std::to_string(days) + "-days.sqlite")).string();
        if (!std::filesystem::exists(db)) {
            FillSqlite(db, days);
            filled = true;
        }
    }
    if (filled) {
        std::printf("filled %s: %lld uploads of %d readings and one of %d, in %.0f s\n", db.c_str(),
                    uploads, kReadings, kLargest, SecondsSince(fill_start));
    }
    std::string error;
    const auto start = Clock::now();
    const std::unique_ptr<WebStore> store = WebStore::Open(db, &error);
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
    const long long largest = uploads + 1;
    const std::string some = std::to_string(uploads - 7);
    const std::string last_page =
        std::to_string((days + WEB_UPLOADS_PER_PAGE - 1) / WEB_UPLOADS_PER_PAGE);
    const std::vector<std::string> paths = {
        "/",
        "/?pagina=2",
        "/cards/100042",
        "/cards/100042?pagina=4",
        "/cards/100042?pagina=" + last_page,
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
