#include "upload_store_sqlite.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sqlite_statement.h"

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
    "CREATE INDEX IF NOT EXISTS uploads_by_serial ON uploads (serial, id);"
    "CREATE TABLE IF NOT EXISTS upload_tenths ("
    " upload_id INTEGER PRIMARY KEY REFERENCES uploads(id),"
    " tenths BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS cards ("
    " serial INTEGER PRIMARY KEY,"
    " uploads INTEGER NOT NULL,"
    " last_id INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS cards_by_last ON cards (last_id);"
    "CREATE TABLE IF NOT EXISTS web_logins ("
    " id INTEGER PRIMARY KEY,"
    " time TEXT NOT NULL,"
    " user_name TEXT NOT NULL,"
    " address TEXT NOT NULL,"
    " success INTEGER NOT NULL);";

// The cards' counts, made once from the uploads.
const char* const kCardCounts =
    "INSERT INTO cards (serial, uploads, last_id)"
    " SELECT serial, COUNT(*), MAX(id) FROM uploads GROUP BY serial;";

// Whether `sql` finds a row.
bool Finds(sqlite3* db, const char* sql) {
    Statement query(db, sql);
    return query.Ok() && sqlite3_step(query.Get()) == SQLITE_ROW;
}

}  // namespace

bool SqliteUploadStore::Migrate() {
    const bool first_schema =
        Finds(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'readings'");
    const bool counted = Finds(db_, "SELECT 1 FROM cards LIMIT 1");
    if (!first_schema && (counted || !Finds(db_, "SELECT 1 FROM uploads LIMIT 1"))) {
        return true;
    }
    if (!Execute("BEGIN IMMEDIATE")) {
        return false;
    }
    bool done = counted || Execute(kCardCounts);
    if (done && first_schema) {
        done = MoveReadingsIntoBlobs() &&
               Execute(
                   "INSERT OR IGNORE INTO upload_tenths (upload_id, tenths) "
                   "SELECT id, x'' FROM uploads") &&
               Execute("DROP TABLE readings");
    }
    if (!done || !Execute("COMMIT")) {
        Execute("ROLLBACK");
        return false;
    }
    // Gives the space of the rows back to the file system.
    return !first_schema || Execute("VACUUM");
}

bool SqliteUploadStore::MoveReadingsIntoBlobs() {
    Statement readings(db_, "SELECT upload_id, tenths FROM readings ORDER BY upload_id, idx");
    Statement insert(db_, "INSERT INTO upload_tenths (upload_id, tenths) VALUES (?, ?)");
    if (!readings.Ok() || !insert.Ok()) {
        return false;
    }
    long long upload = -1;
    std::vector<int> tenths;
    const auto flush = [&] {
        if (upload < 0) {
            return true;
        }
        const std::string blob = PackTenths(tenths);
        sqlite3_reset(insert.Get());
        insert.Bind(1, upload);
        sqlite3_bind_blob(insert.Get(), 2, blob.data(), static_cast<int>(blob.size()),
                          SQLITE_TRANSIENT);
        tenths.clear();
        return sqlite3_step(insert.Get()) == SQLITE_DONE;
    };
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(readings.Get())) == SQLITE_ROW) {
        if (readings.Int64(0) != upload) {
            if (!flush()) {
                return false;
            }
            upload = readings.Int64(0);
        }
        tenths.push_back(readings.Int(1));
    }
    return step == SQLITE_DONE && flush();
}

std::string SqliteUploadStore::LastLink() {
    Statement last(db_, "SELECT chain FROM uploads ORDER BY id DESC LIMIT 1");
    return last.Ok() && sqlite3_step(last.Get()) == SQLITE_ROW ? last.Text(0) : "";
}

bool SqliteUploadStore::ChainUploads() {
    const char* const kUnchained =
        "SELECT " SQLITE_UPLOAD_COLUMNS
        " FROM uploads u WHERE u.id > (SELECT coalesce(max(id), 0) FROM uploads"
        " WHERE chain IS NOT NULL) ORDER BY u.id";
    const auto chained = [&] {
        return Finds(db_, "SELECT 1 FROM pragma_table_info('uploads') WHERE name = 'chain'");
    };
    // Looked at before the lock, so that an open of an up-to-date file writes nothing.
    if (chained()) {
        Statement pending(db_, kUnchained);
        if (pending.Ok() && sqlite3_step(pending.Get()) != SQLITE_ROW) {
            return true;
        }
    }
    if (!Execute("BEGIN IMMEDIATE")) {
        return false;
    }
    bool done = chained() || (Execute("ALTER TABLE uploads ADD COLUMN sha256 TEXT") &&
                              Execute("ALTER TABLE uploads ADD COLUMN chain TEXT"));
    // Uploads stored before the chain, or by a server that keeps none, join it in id order
    // after the last one chained.
    std::vector<StoredUpload> pending;
    {
        Statement query(db_, kUnchained);
        while (done && query.Ok() && sqlite3_step(query.Get()) == SQLITE_ROW) {
            pending.push_back(SqliteUploadFrom(query.Get(), 0));
        }
        done = done && query.Ok();
    }
    Statement seal(db_, "UPDATE uploads SET sha256 = ?, chain = ? WHERE id = ?");
    std::string link;
    {
        Statement last(
            db_, "SELECT chain FROM uploads WHERE chain IS NOT NULL ORDER BY id DESC LIMIT 1");
        link = last.Ok() && sqlite3_step(last.Get()) == SQLITE_ROW ? last.Text(0) : "";
    }
    for (const StoredUpload& u : pending) {
        if (!done || !seal.Ok()) {
            done = false;
            break;
        }
        const std::string sha256 = UploadSha256(u, ReadingsOf(u.id));
        link = NextChainLink(link, sha256);
        sqlite3_reset(seal.Get());
        seal.Bind(1, sha256);
        seal.Bind(2, link);
        seal.Bind(3, u.id);
        done = sqlite3_step(seal.Get()) == SQLITE_DONE;
    }
    if (!done || !Execute("COMMIT")) {
        Execute("ROLLBACK");
        return false;
    }
    return true;
}

std::unique_ptr<SqliteUploadStore> SqliteUploadStore::Open(const std::string& path,
                                                           std::string* error) {
    sqlite3* const db =
        OpenSqliteFile(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, BUSY_TIMEOUT_MS, error);
    if (db == nullptr) {
        return nullptr;
    }
    std::unique_ptr<SqliteUploadStore> store(new SqliteUploadStore(db, path));
    // A rollback journal, not a write-ahead log: the log's index is a file mapped into
    // memory by every process that opens the database, and one that is truncated or
    // damaged under the server kills it (SIGBUS) at its next store. FULL syncs at every
    // commit, which makes a commit durable, not just atomic.
    if (!store->Execute("PRAGMA journal_mode=TRUNCATE") ||
        !store->Execute("PRAGMA synchronous=FULL") || !store->Execute(kSchema) ||
        !store->Migrate() || !store->ChainUploads()) {
        *error = sqlite3_errmsg(db);
        return nullptr;
    }
    struct stat file {};
    if (path != ":memory:" && stat(path.c_str(), &file) == 0) {
        store->file_ = FileIdentity{file.st_dev, file.st_ino};
    }
    return store;
}

std::string SqliteUploadStore::FileChanged() const {
    if (!file_) {
        return "";
    }
    struct stat now {};
    if (stat(path_.c_str(), &now) != 0) {
        return "the database " + path_ + " is gone: " + std::strerror(errno);
    }
    if (now.st_dev != file_->device || now.st_ino != file_->inode) {
        return "the database " + path_ + " is no longer the file the server opened";
    }
    return "";
}

SqliteUploadStore::~SqliteUploadStore() {
    sqlite3_close(db_);
}

bool SqliteUploadStore::Execute(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void SqliteUploadStore::SetBusyTimeout(int ms) {
    std::lock_guard lock(mutex_);
    sqlite3_busy_timeout(db_, ms);
}

std::vector<StoreOutcome> SqliteUploadStore::StoreAll(const std::vector<UploadToStore>& uploads) {
    std::lock_guard lock(mutex_);
    std::vector<StoreOutcome> outcomes(uploads.size());
    const auto fail_all = [&](const std::string& why) {
        for (StoreOutcome& o : outcomes) {
            o = {false, why};
        }
        return outcomes;
    };
    // Stored into a file nobody will open again, the uploads would be lost once "cc" is sent.
    if (const std::string changed = FileChanged(); !changed.empty()) {
        return fail_all(changed);
    }
    if (!Execute("BEGIN IMMEDIATE")) {
        return fail_all(sqlite3_errmsg(db_));
    }
    // Under the write lock, so no other process can take the same link.
    std::string link = LastLink();
    for (std::size_t k = 0; k < uploads.size(); ++k) {
        // An I/O error or a full disk ends the transaction: none of the batch is stored.
        if (sqlite3_get_autocommit(db_) != 0) {
            return fail_all(sqlite3_errmsg(db_));
        }
        // Each in a savepoint of its own: one that fails takes no other down with it.
        if (!Execute("SAVEPOINT upload")) {
            outcomes[k] = {false, sqlite3_errmsg(db_)};
            continue;
        }
        std::string next = link;
        outcomes[k].stored = Insert(uploads[k], &next, &outcomes[k].why);
        if (outcomes[k].stored) {
            link = next;
        } else {
            Execute("ROLLBACK TO upload");
        }
        Execute("RELEASE upload");
    }
    if (!Execute("COMMIT")) {
        const std::string why = sqlite3_errmsg(db_);
        Execute("ROLLBACK");
        return fail_all(why);
    }
    return outcomes;
}

bool SqliteUploadStore::Insert(const UploadToStore& u, std::string* link, std::string* why) {
    const UploadHeader& header = u.header;
    const std::string& peer = u.peer;
    const auto failed = [&] {
        *why = sqlite3_errmsg(db_);
        return false;
    };
    for (const int t : u.readings) {
        if (t < INT16_MIN || t > INT16_MAX) {
            *why = "a reading out of the card's range";
            return false;
        }
    }
    const std::string blob = PackTenths(u.readings);
    // A card, or the program's outbox, sends an upload again when its "cc" was lost: the
    // same card, time stamp and readings are the same recording, stored once.
    {
        Statement same(db_,
                       "SELECT 1 FROM uploads u JOIN upload_tenths t ON t.upload_id = u.id "
                       "WHERE u.serial = ? AND u.stamp_hour = ? AND u.stamp_minute = ? "
                       "AND u.stamp_second = ? AND u.stamp_day = ? AND u.stamp_month = ? "
                       "AND u.stamp_year = ? AND t.tenths = ?");
        if (!same.Ok()) {
            return failed();
        }
        int k = 1;
        same.Bind(k++, header.serial);
        same.Bind(k++, header.stamp.h);
        same.Bind(k++, header.stamp.m);
        same.Bind(k++, header.stamp.s);
        same.Bind(k++, header.stamp.day);
        same.Bind(k++, header.stamp.month);
        same.Bind(k++, header.stamp.year);
        sqlite3_bind_blob(same.Get(), k, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
        if (sqlite3_step(same.Get()) == SQLITE_ROW) {
            return true;
        }
    }
    bool stored = false;
    {
        Statement upload(db_,
                         "INSERT INTO uploads (received, peer, serial, description, "
                         "low_alarm_x10, high_alarm_x10, start_delay, alarm_delay, sample_points, "
                         "sample_rate, stamp_hour, stamp_minute, stamp_second, stamp_day, "
                         "stamp_month, stamp_year, firmware, software, temp_unit, sha256, "
                         "chain) VALUES (strftime('%Y-%m-%d %H:%M:%S', 'now'), ?, ?, ?, ?, ?, ?, "
                         "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        Statement tenths(db_, "INSERT INTO upload_tenths (upload_id, tenths) VALUES (?, ?)");
        Statement card(db_,
                       "INSERT INTO cards (serial, uploads, last_id) VALUES (?, 1, ?) "
                       "ON CONFLICT (serial) DO UPDATE SET uploads = uploads + 1, "
                       "last_id = excluded.last_id");
        if (upload.Ok() && tenths.Ok() && card.Ok()) {
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
            const std::string sha256 = UploadSha256(StoredFields(header), u.readings);
            const std::string next = NextChainLink(*link, sha256);
            upload.Bind(k++, sha256);
            upload.Bind(k++, next);
            stored = sqlite3_step(upload.Get()) == SQLITE_DONE;
            const long long id = sqlite3_last_insert_rowid(db_);
            tenths.Bind(1, id);
            sqlite3_bind_blob(tenths.Get(), 2, blob.data(), static_cast<int>(blob.size()),
                              SQLITE_STATIC);
            card.Bind(1, header.serial);
            card.Bind(2, id);
            stored = stored && sqlite3_step(tenths.Get()) == SQLITE_DONE &&
                     sqlite3_step(card.Get()) == SQLITE_DONE;
            if (stored) {
                *link = next;
            }
        }
    }
    return stored || failed();
}

std::vector<StoredUpload> SqliteUploadStore::List() {
    std::lock_guard lock(mutex_);
    Statement query(db_, "SELECT " SQLITE_UPLOAD_COLUMNS " FROM uploads u ORDER BY u.id");
    std::vector<StoredUpload> uploads;
    while (query.Ok() && sqlite3_step(query.Get()) == SQLITE_ROW) {
        uploads.push_back(SqliteUploadFrom(query.Get(), 0));
    }
    return uploads;
}

std::vector<int> SqliteUploadStore::Readings(long long upload_id) {
    std::lock_guard lock(mutex_);
    return ReadingsOf(upload_id);
}

std::vector<int> SqliteUploadStore::ReadingsOf(long long upload_id) {
    Statement query(db_, "SELECT tenths FROM upload_tenths WHERE upload_id = ?");
    if (!query.Ok()) {
        return {};
    }
    query.Bind(1, upload_id);
    if (sqlite3_step(query.Get()) != SQLITE_ROW) {
        return {};
    }
    return UnpackTenths(sqlite3_column_blob(query.Get(), 0),
                        static_cast<std::size_t>(sqlite3_column_bytes(query.Get(), 0)));
}

StoredUpload SqliteUploadFrom(sqlite3_stmt* s, int k) {
    return UploadFromColumns(
        [&] { return static_cast<long long>(sqlite3_column_int64(s, k++)); },
        [&] {
            const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(s, k));
            const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s, k++));
            return bytes != nullptr ? std::string(bytes, size) : std::string();
        });
}
