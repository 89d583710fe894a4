#include "upload_store.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

#include "logger/cp1252.h"

namespace {

constexpr int BUSY_TIMEOUT_MS = 3000;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS uploads ("
    " id INTEGER PRIMARY KEY,"
    " received TEXT NOT NULL,"
    " peer TEXT NOT NULL,"
    " serial INTEGER NOT NULL,"
    " description TEXT NOT NULL,"
    " low_alarm_x10 INTEGER NOT NULL,"
    " high_alarm_x10 INTEGER NOT NULL,"
    " start_delay INTEGER NOT NULL,"
    " alarm_delay INTEGER NOT NULL,"
    " sample_points INTEGER NOT NULL,"
    " sample_rate INTEGER NOT NULL,"
    " stamp_hour INTEGER NOT NULL,"
    " stamp_minute INTEGER NOT NULL,"
    " stamp_second INTEGER NOT NULL,"
    " stamp_day INTEGER NOT NULL,"
    " stamp_month INTEGER NOT NULL,"
    " stamp_year INTEGER NOT NULL,"
    " firmware TEXT NOT NULL,"
    " software TEXT NOT NULL,"
    " temp_unit INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS readings ("
    " upload_id INTEGER NOT NULL REFERENCES uploads(id),"
    " idx INTEGER NOT NULL,"
    " tenths INTEGER NOT NULL,"
    " PRIMARY KEY (upload_id, idx));";

// A prepared statement, finalized on every exit path.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* Get() const { return stmt_; }
    bool Ok() const { return stmt_ != nullptr; }
    void Bind(int index, long long value) { sqlite3_bind_int64(stmt_, index, value); }
    void Bind(int index, const std::string& text) {
        sqlite3_bind_text(stmt_, index, text.c_str(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    int Int(int column) const { return sqlite3_column_int(stmt_, column); }
    long long Int64(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string Text(int column) const {
        const unsigned char* text = sqlite3_column_text(stmt_, column);
        return text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

std::string VersionText(const std::array<std::uint8_t, 3>& version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]);
}

std::string DescriptionText(const std::array<std::uint8_t, DESCRIPTION_SIZE>& field) {
    std::string bytes(field.begin(), field.end());
    const std::size_t last = bytes.find_last_not_of(std::string(" \0", 2));
    bytes.erase(last == std::string::npos ? 0 : last + 1);
    return Cp1252ToUtf8(bytes);
}

}  // namespace

std::unique_ptr<UploadStore> UploadStore::Open(const std::string& path, std::string* error) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        *error = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, BUSY_TIMEOUT_MS);
    std::unique_ptr<UploadStore> store(new UploadStore(db));
    // WAL keeps readers (--list) out of the writer's way; FULL syncs the log at every
    // commit, which makes a commit durable, not just atomic.
    if (!store->Execute("PRAGMA journal_mode=WAL") || !store->Execute("PRAGMA synchronous=FULL") ||
        !store->Execute(kSchema)) {
        *error = sqlite3_errmsg(db);
        return nullptr;
    }
    return store;
}

UploadStore::~UploadStore() {
    sqlite3_close(db_);
}

bool UploadStore::Execute(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void UploadStore::SetBusyTimeout(int ms) {
    std::lock_guard lock(mutex_);
    sqlite3_busy_timeout(db_, ms);
}

bool UploadStore::Store(const std::string& peer, const UploadHeader& header,
                        const std::vector<int>& readings, std::string* why) {
    std::lock_guard lock(mutex_);
    const auto failed = [&] {
        if (why != nullptr) {
            *why = sqlite3_errmsg(db_);
        }
        return false;
    };
    if (!Execute("BEGIN IMMEDIATE")) {
        return failed();
    }
    bool stored = false;
    {
        Statement upload(db_,
                         "INSERT INTO uploads (received, peer, serial, description, "
                         "low_alarm_x10, high_alarm_x10, start_delay, alarm_delay, sample_points, "
                         "sample_rate, stamp_hour, stamp_minute, stamp_second, stamp_day, "
                         "stamp_month, stamp_year, firmware, software, temp_unit) VALUES "
                         "(strftime('%Y-%m-%d %H:%M:%S', 'now'), ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                         "?, ?, ?, ?, ?, ?, ?)");
        Statement reading(db_, "INSERT INTO readings (upload_id, idx, tenths) VALUES (?, ?, ?)");
        if (upload.Ok() && reading.Ok()) {
            int k = 1;
            upload.Bind(k++, peer);
            upload.Bind(k++, header.serial);
            upload.Bind(k++, DescriptionText(header.descricao));
            upload.Bind(k++, header.low_alarm_x10);
            upload.Bind(k++, header.high_alarm_x10);
            upload.Bind(k++, header.start_delay);
            upload.Bind(k++, header.alarm_delay);
            upload.Bind(k++, header.sample_points);
            upload.Bind(k++, header.sample_rate);
            upload.Bind(k++, header.stamp.h);
            upload.Bind(k++, header.stamp.m);
            upload.Bind(k++, header.stamp.s);
            upload.Bind(k++, header.stamp.day);
            upload.Bind(k++, header.stamp.month);
            upload.Bind(k++, header.stamp.year);
            upload.Bind(k++, VersionText(header.firmware));
            upload.Bind(k++, VersionText(header.software));
            upload.Bind(k++, header.temp_unit);
            stored = sqlite3_step(upload.Get()) == SQLITE_DONE;
            const long long id = sqlite3_last_insert_rowid(db_);
            for (std::size_t i = 0; stored && i < readings.size(); ++i) {
                sqlite3_reset(reading.Get());
                reading.Bind(1, id);
                reading.Bind(2, static_cast<long long>(i));
                reading.Bind(3, readings[i]);
                stored = sqlite3_step(reading.Get()) == SQLITE_DONE;
            }
        }
    }
    if (stored && Execute("COMMIT")) {
        return true;
    }
    failed();
    Execute("ROLLBACK");
    return false;
}

std::vector<StoredUpload> UploadStore::List() {
    std::lock_guard lock(mutex_);
    Statement query(db_,
                    "SELECT id, received, peer, serial, description, low_alarm_x10, "
                    "high_alarm_x10, start_delay, alarm_delay, sample_points, sample_rate, "
                    "stamp_hour, stamp_minute, stamp_second, stamp_day, stamp_month, stamp_year, "
                    "firmware, software, temp_unit, "
                    "(SELECT COUNT(*) FROM readings WHERE upload_id = uploads.id) "
                    "FROM uploads ORDER BY id");
    std::vector<StoredUpload> uploads;
    while (query.Ok() && sqlite3_step(query.Get()) == SQLITE_ROW) {
        StoredUpload u;
        int k = 0;
        u.id = query.Int64(k++);
        u.received = query.Text(k++);
        u.peer = query.Text(k++);
        u.serial = static_cast<long>(query.Int64(k++));
        u.description = query.Text(k++);
        u.low_alarm_x10 = query.Int(k++);
        u.high_alarm_x10 = query.Int(k++);
        u.start_delay = query.Int(k++);
        u.alarm_delay = query.Int(k++);
        u.sample_points = query.Int(k++);
        u.sample_rate = query.Int(k++);
        u.stamp.h = static_cast<unsigned char>(query.Int(k++));
        u.stamp.m = static_cast<unsigned char>(query.Int(k++));
        u.stamp.s = static_cast<unsigned char>(query.Int(k++));
        u.stamp.day = static_cast<unsigned char>(query.Int(k++));
        u.stamp.month = static_cast<unsigned char>(query.Int(k++));
        u.stamp.year = static_cast<unsigned>(query.Int(k++));
        u.firmware = query.Text(k++);
        u.software = query.Text(k++);
        u.temp_unit = query.Int(k++);
        u.readings = query.Int(k++);
        uploads.push_back(std::move(u));
    }
    return uploads;
}

std::vector<int> UploadStore::Readings(long long upload_id) {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT tenths FROM readings WHERE upload_id = ? ORDER BY idx");
    std::vector<int> tenths;
    if (!query.Ok()) {
        return tenths;
    }
    query.Bind(1, upload_id);
    while (sqlite3_step(query.Get()) == SQLITE_ROW) {
        tenths.push_back(query.Int(0));
    }
    return tenths;
}

static std::string Tenths(int tenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%d.%d", tenths < 0 ? "-" : "", std::abs(tenths) / 10,
                  std::abs(tenths) % 10);
    return text;
}

static std::string UnitText(int temp_unit) {
    return temp_unit == 0 ? "C" : temp_unit == 1 ? "F" : std::to_string(temp_unit);
}

std::string UploadLine(const StoredUpload& u) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d.%02d.%02u %02d:%02d:%02d", u.stamp.day, u.stamp.month,
                  u.stamp.year, u.stamp.h, u.stamp.m, u.stamp.s);
    return std::to_string(u.id) + " received=" + u.received + " peer=" + u.peer +
           " serial=" + std::to_string(u.serial) + " descricao=\"" + u.description + "\"" +
           " readings=" + std::to_string(u.readings) +
           " sample_points=" + std::to_string(u.sample_points) +
           " sample_rate=" + std::to_string(u.sample_rate) + " low=" + Tenths(u.low_alarm_x10) +
           " high=" + Tenths(u.high_alarm_x10) + " start_delay=" + std::to_string(u.start_delay) +
           " alarm_delay=" + std::to_string(u.alarm_delay) + " end=\"" + stamp + "\"" +
           " unit=" + UnitText(u.temp_unit) + " firmware=" + u.firmware + " software=" + u.software;
}
