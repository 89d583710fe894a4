#include "alert_store_sqlite.h"

#include "sqlite_statement.h"

namespace {

constexpr int BUSY_TIMEOUT_MS = 5000;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS alerts ("
    " id INTEGER PRIMARY KEY,"
    " event_key TEXT NOT NULL,"
    " channel TEXT NOT NULL,"
    " serial INTEGER NOT NULL,"
    " upload_id INTEGER NOT NULL,"
    " rule TEXT NOT NULL,"
    " message TEXT NOT NULL,"
    " created INTEGER NOT NULL,"
    " sent INTEGER,"
    " attempts INTEGER NOT NULL DEFAULT 0,"
    " last_error TEXT NOT NULL DEFAULT '',"
    " last_attempt INTEGER,"
    " next_attempt INTEGER NOT NULL,"
    " UNIQUE (event_key, channel));"
    "CREATE INDEX IF NOT EXISTS alerts_by_card ON alerts (serial, upload_id);"
    "CREATE INDEX IF NOT EXISTS alerts_due ON alerts (next_attempt) WHERE sent IS NULL;"
    "CREATE TABLE IF NOT EXISTS alert_state ("
    " name TEXT PRIMARY KEY,"
    " value INTEGER NOT NULL);";

#define ALERT_COLUMNS                                                                     \
    "id, event_key, channel, serial, upload_id, rule, message, created, sent, attempts, " \
    "last_error, last_attempt"

// What the check needs of an upload.
#define CHECK_COLUMNS                                                                \
    "u.id, u.received, u.serial, u.low_alarm_x10, u.high_alarm_x10, u.alarm_delay, " \
    "u.sample_points, u.sample_rate"

std::vector<StoredAlert> AlertsFrom(Statement& query) {
    std::vector<StoredAlert> alerts;
    while (query.Row()) {
        StoredAlert a;
        a.id = query.Int64(0);
        a.key = query.Text(1);
        a.channel = query.Text(2);
        a.serial = static_cast<long>(query.Int64(3));
        a.upload_id = query.Int64(4);
        a.rule = query.Text(5);
        a.message = query.Text(6);
        a.created = static_cast<std::time_t>(query.Int64(7));
        a.sent = query.MaybeInt64(8);
        a.attempts = static_cast<int>(query.Int64(9));
        a.last_error = query.Text(10);
        a.last_attempt = query.MaybeInt64(11);
        alerts.push_back(std::move(a));
    }
    return alerts;
}

}  // namespace

std::unique_ptr<SqliteAlertStore> SqliteAlertStore::Open(const std::string& path,
                                                         std::string* error) {
    sqlite3* const db =
        OpenSqliteFile(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, BUSY_TIMEOUT_MS, error);
    if (db == nullptr) {
        return nullptr;
    }
    std::unique_ptr<SqliteAlertStore> store(new SqliteAlertStore(db));
    // The upload store's journal mode: truncating the journal costs less than deleting it
    // at every commit.
    if (!store->Execute("PRAGMA journal_mode=TRUNCATE") || !store->Execute(kSchema)) {
        *error = sqlite3_errmsg(db);
        return nullptr;
    }
    return store;
}

SqliteAlertStore::~SqliteAlertStore() {
    sqlite3_close(db_);
}

bool SqliteAlertStore::Execute(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool SqliteAlertStore::Record(const std::vector<AlertEvent>& events,
                              const std::vector<std::string>& channels, std::time_t now,
                              std::string* why) {
    std::lock_guard lock(mutex_);
    // A silent card's event comes back every round: kept already, it costs no write (and no
    // sync of the disk, which the uploads wait for).
    bool all_kept = true;
    for (const AlertEvent& event : events) {
        Statement kept(db_, "SELECT count(*) FROM alerts WHERE event_key = ?");
        kept.Bind(1, event.key);
        all_kept =
            all_kept && kept.Row() && kept.Int64(0) == static_cast<long long>(channels.size());
    }
    if (all_kept) {
        return true;
    }
    if (!Execute("BEGIN IMMEDIATE")) {
        *why = sqlite3_errmsg(db_);
        return false;
    }
    Statement insert(db_,
                     "INSERT INTO alerts (event_key, channel, serial, upload_id, rule, message, "
                     "created, next_attempt) VALUES (?, ?, ?, ?, ?, ?, ?, ?) "
                     "ON CONFLICT (event_key, channel) DO NOTHING");
    for (const AlertEvent& event : events) {
        for (const std::string& channel : channels) {
            sqlite3_reset(insert.Get());
            int k = 1;
            insert.Bind(k++, event.key);
            insert.Bind(k++, channel);
            insert.Bind(k++, event.serial);
            insert.Bind(k++, event.upload_id);
            insert.Bind(k++, event.rule);
            insert.Bind(k++, event.message);
            insert.Bind(k++, static_cast<long long>(now));
            insert.Bind(k++, static_cast<long long>(now));
            if (!insert.Done()) {
                *why = sqlite3_errmsg(db_);
                Execute("ROLLBACK");
                return false;
            }
        }
    }
    if (!Execute("COMMIT")) {
        *why = sqlite3_errmsg(db_);
        Execute("ROLLBACK");
        return false;
    }
    return true;
}

std::vector<StoredAlert> SqliteAlertStore::Claim(std::time_t now, int lease_s, int limit,
                                                 const std::vector<std::string>& channels) {
    std::lock_guard lock(mutex_);
    if (channels.empty()) {
        return {};
    }
    Statement claim(db_,
                    "UPDATE alerts SET next_attempt = ? WHERE id IN (SELECT id FROM alerts "
                    "WHERE sent IS NULL AND next_attempt <= ? AND channel IN (?, ?) "
                    "ORDER BY id LIMIT ?) RETURNING " ALERT_COLUMNS);
    claim.Bind(1, static_cast<long long>(now) + lease_s);
    claim.Bind(2, static_cast<long long>(now));
    claim.Bind(3, channels.front());
    claim.Bind(4, channels.back());
    claim.Bind(5, limit);
    return AlertsFrom(claim);
}

void SqliteAlertStore::MarkSent(long long id, std::time_t now) {
    std::lock_guard lock(mutex_);
    Statement update(db_, "UPDATE alerts SET sent = ?, last_attempt = ? WHERE id = ?");
    update.Bind(1, static_cast<long long>(now));
    update.Bind(2, static_cast<long long>(now));
    update.Bind(3, id);
    update.Done();
}

void SqliteAlertStore::MarkFailed(long long id, const std::string& error, std::time_t now,
                                  std::time_t retry_at) {
    std::lock_guard lock(mutex_);
    Statement update(db_,
                     "UPDATE alerts SET attempts = attempts + 1, last_error = ?, "
                     "last_attempt = ?, next_attempt = ? WHERE id = ?");
    update.Bind(1, error);
    update.Bind(2, static_cast<long long>(now));
    update.Bind(3, static_cast<long long>(retry_at));
    update.Bind(4, id);
    update.Done();
}

std::optional<long long> SqliteAlertStore::CheckedThrough() {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT value FROM alert_state WHERE name = 'checked_through'");
    if (!query.Row()) {
        return std::nullopt;
    }
    return query.Int64(0);
}

void SqliteAlertStore::SetCheckedThrough(long long upload_id) {
    std::lock_guard lock(mutex_);
    Statement update(db_,
                     "INSERT INTO alert_state (name, value) VALUES ('checked_through', ?) "
                     "ON CONFLICT (name) DO UPDATE SET value = max(value, excluded.value)");
    update.Bind(1, upload_id);
    update.Done();
}

std::optional<long long> SqliteAlertStore::LastUploadId() {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT coalesce(max(id), 0) FROM uploads");
    if (!query.Row()) {
        return std::nullopt;
    }
    return query.Int64(0);
}

std::vector<StoredUpload> SqliteAlertStore::UploadsAfter(long long upload_id, int limit) {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT " CHECK_COLUMNS
                         " FROM uploads u WHERE u.id > ? ORDER BY u.id "
                         "LIMIT ?");
    query.Bind(1, upload_id);
    query.Bind(2, limit);
    std::vector<StoredUpload> uploads;
    while (query.Row()) {
        StoredUpload u;
        u.id = query.Int64(0);
        u.received = query.Text(1);
        u.serial = static_cast<long>(query.Int64(2));
        u.low_alarm_x10 = static_cast<int>(query.Int64(3));
        u.high_alarm_x10 = static_cast<int>(query.Int64(4));
        u.alarm_delay = static_cast<int>(query.Int64(5));
        u.sample_points = static_cast<int>(query.Int64(6));
        u.sample_rate = static_cast<int>(query.Int64(7));
        uploads.push_back(std::move(u));
    }
    return uploads;
}

std::optional<std::vector<int>> SqliteAlertStore::Readings(long long upload_id) {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT tenths FROM upload_tenths WHERE upload_id = ?");
    query.Bind(1, upload_id);
    if (!query.Row()) {
        return std::nullopt;
    }
    return UnpackTenths(sqlite3_column_blob(query.Get(), 0),
                        static_cast<std::size_t>(sqlite3_column_bytes(query.Get(), 0)));
}

std::vector<CardLastUpload> SqliteAlertStore::LastUploads() {
    std::lock_guard lock(mutex_);
    Statement query(db_,
                    "SELECT c.serial, c.last_id, u.received FROM cards c "
                    "JOIN uploads u ON u.id = c.last_id ORDER BY c.serial");
    std::vector<CardLastUpload> cards;
    while (query.Row()) {
        cards.push_back({static_cast<long>(query.Int64(0)), query.Int64(1), query.Text(2)});
    }
    return cards;
}

long long SqliteAlertStore::AlertCount() {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT count(*) FROM alerts");
    return query.Row() ? query.Int64(0) : 0;
}

std::vector<StoredAlert> SqliteAlertStore::Alerts(long long offset, int limit) {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT " ALERT_COLUMNS " FROM alerts ORDER BY id DESC LIMIT ? OFFSET ?");
    query.Bind(1, limit);
    query.Bind(2, offset);
    return AlertsFrom(query);
}

std::vector<StoredAlert> SqliteAlertStore::OpenAlerts(long serial) {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT " ALERT_COLUMNS
                         " FROM alerts WHERE serial = ? AND upload_id = "
                         "(SELECT last_id FROM cards WHERE serial = ?) ORDER BY id DESC");
    query.Bind(1, serial);
    query.Bind(2, serial);
    return AlertsFrom(query);
}
