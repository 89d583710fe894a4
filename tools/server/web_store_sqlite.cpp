#include "web_store_sqlite.h"

#include <sqlite3.h>

namespace {

constexpr int BUSY_TIMEOUT_MS = 5000;

// The lists go by card, newest first (the upload store made the indexes they need).

// The columns of StoredUpload, in its order, for "FROM uploads u".
#define UPLOAD_COLUMNS                                                                        \
    "u.id, u.received, u.peer, u.serial, u.description, u.low_alarm_x10, u.high_alarm_x10, "  \
    "u.start_delay, u.alarm_delay, u.sample_points, u.sample_rate, u.stamp_hour, "            \
    "u.stamp_minute, u.stamp_second, u.stamp_day, u.stamp_month, u.stamp_year, u.firmware, "  \
    "u.software, u.temp_unit, "                                                               \
    "(SELECT length(t.tenths) / 2 FROM upload_tenths t WHERE t.upload_id = u.id), u.sha256, " \
    "u.chain"
constexpr int kUploadColumnCount = 23;

enum Query {
    CARD_COUNT,
    CARDS,
    CARD,
    CARD_UPLOADS,
    UPLOAD,
    READINGS,
    LINK_BEFORE,
    LOGIN_COUNT,
    LOGINS,
    QUERY_COUNT
};

std::string Text(sqlite3_stmt* s, int column) {
    const unsigned char* text = sqlite3_column_text(s, column);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text),
                                         static_cast<std::size_t>(sqlite3_column_bytes(s, column)))
                           : std::string();
}

StoredUpload UploadFrom(sqlite3_stmt* s, int k) {
    const auto number = [&] { return sqlite3_column_int64(s, k++); };
    const auto byte = [&] { return static_cast<unsigned char>(sqlite3_column_int(s, k++)); };
    StoredUpload u;
    u.id = number();
    u.received = Text(s, k++);
    u.peer = Text(s, k++);
    u.serial = static_cast<long>(number());
    u.description = Text(s, k++);
    u.low_alarm_x10 = static_cast<int>(number());
    u.high_alarm_x10 = static_cast<int>(number());
    u.start_delay = static_cast<int>(number());
    u.alarm_delay = static_cast<int>(number());
    u.sample_points = static_cast<int>(number());
    u.sample_rate = static_cast<int>(number());
    u.stamp.h = byte();
    u.stamp.m = byte();
    u.stamp.s = byte();
    u.stamp.day = byte();
    u.stamp.month = byte();
    u.stamp.year = static_cast<unsigned>(number());
    u.firmware = Text(s, k++);
    u.software = Text(s, k++);
    u.temp_unit = static_cast<int>(number());
    u.readings = static_cast<int>(number());
    u.sha256 = Text(s, k++);
    u.chain = Text(s, k++);
    return u;
}

// Resets the statement when the query is done, whatever its end.
class Use {
  public:
    explicit Use(sqlite3_stmt* s) : s_(s) {}
    ~Use() {
        if (s_ != nullptr) {
            sqlite3_reset(s_);
            sqlite3_clear_bindings(s_);
        }
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    bool Row() const { return s_ != nullptr && sqlite3_step(s_) == SQLITE_ROW; }

  private:
    sqlite3_stmt* s_;
};

}  // namespace

std::unique_ptr<SqliteWebStore> SqliteWebStore::Open(const std::string& path, std::string* error) {
    sqlite3* db = nullptr;
    // Read-write, so that a journal left by a crash can be rolled back; query_only below
    // forbids every other write.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        *error = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, BUSY_TIMEOUT_MS);
    std::unique_ptr<SqliteWebStore> store(new SqliteWebStore(db));
    if (sqlite3_exec(db, "PRAGMA query_only = ON", nullptr, nullptr, nullptr) != SQLITE_OK) {
        *error = sqlite3_errmsg(db);
        return nullptr;
    }
    store->statements_.assign(QUERY_COUNT, nullptr);
    if (sqlite3_open_v2(path.c_str(), &store->logins_db_, flags, nullptr) != SQLITE_OK) {
        *error = store->logins_db_ != nullptr ? sqlite3_errmsg(store->logins_db_) : "out of memory";
        return nullptr;
    }
    sqlite3_busy_timeout(store->logins_db_, BUSY_TIMEOUT_MS);
    return store;
}

SqliteWebStore::~SqliteWebStore() {
    for (sqlite3_stmt* s : statements_) {
        sqlite3_finalize(s);
    }
    sqlite3_close(db_);
    sqlite3_close(logins_db_);
}

sqlite3_stmt* SqliteWebStore::Prepare(int which, const char* sql) {
    if (statements_[which] == nullptr) {
        sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statements_[which], nullptr);
    }
    return statements_[which];
}

long long SqliteWebStore::CardCount() {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s = Prepare(CARD_COUNT, "SELECT COUNT(*) FROM cards");
    const Use use(s);
    return use.Row() ? sqlite3_column_int64(s, 0) : 0;
}

std::vector<CardRow> SqliteWebStore::Cards(long long offset, int limit) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s = Prepare(CARDS, "SELECT c.uploads, " UPLOAD_COLUMNS
                                     " FROM cards c JOIN uploads u ON u.id = c.last_id "
                                     "ORDER BY c.last_id DESC LIMIT ? OFFSET ?");
    const Use use(s);
    std::vector<CardRow> cards;
    if (s == nullptr) {
        return cards;
    }
    sqlite3_bind_int(s, 1, limit);
    sqlite3_bind_int64(s, 2, offset);
    while (use.Row()) {
        CardRow card;
        card.uploads = sqlite3_column_int64(s, 0);
        card.last = UploadFrom(s, 1);
        card.serial = card.last.serial;
        cards.push_back(std::move(card));
    }
    return cards;
}

std::optional<CardRow> SqliteWebStore::Card(long serial) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s = Prepare(CARD, "SELECT c.uploads, " UPLOAD_COLUMNS
                                    " FROM cards c JOIN uploads u ON u.id = c.last_id "
                                    "WHERE c.serial = ?");
    const Use use(s);
    if (s == nullptr) {
        return std::nullopt;
    }
    sqlite3_bind_int64(s, 1, serial);
    if (!use.Row()) {
        return std::nullopt;
    }
    CardRow card;
    card.uploads = sqlite3_column_int64(s, 0);
    card.last = UploadFrom(s, 1);
    card.serial = card.last.serial;
    return card;
}

std::vector<StoredUpload> SqliteWebStore::CardUploads(long serial, long long offset, int limit) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s = Prepare(CARD_UPLOADS, "SELECT " UPLOAD_COLUMNS
                                            " FROM uploads u WHERE u.serial = ? "
                                            "ORDER BY u.id DESC LIMIT ? OFFSET ?");
    const Use use(s);
    std::vector<StoredUpload> uploads;
    if (s == nullptr) {
        return uploads;
    }
    sqlite3_bind_int64(s, 1, serial);
    sqlite3_bind_int(s, 2, limit);
    sqlite3_bind_int64(s, 3, offset);
    while (use.Row()) {
        uploads.push_back(UploadFrom(s, 0));
    }
    return uploads;
}

std::optional<StoredUpload> SqliteWebStore::Upload(long long id) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s = Prepare(UPLOAD, "SELECT " UPLOAD_COLUMNS " FROM uploads u WHERE u.id = ?");
    const Use use(s);
    if (s == nullptr) {
        return std::nullopt;
    }
    sqlite3_bind_int64(s, 1, id);
    if (!use.Row()) {
        return std::nullopt;
    }
    static_assert(kUploadColumnCount == 23);
    return UploadFrom(s, 0);
}

std::vector<int> SqliteWebStore::Readings(long long id) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s = Prepare(READINGS, "SELECT tenths FROM upload_tenths WHERE upload_id = ?");
    const Use use(s);
    if (s == nullptr) {
        return {};
    }
    sqlite3_bind_int64(s, 1, id);
    if (!use.Row()) {
        return {};
    }
    return UnpackTenths(sqlite3_column_blob(s, 0),
                        static_cast<std::size_t>(sqlite3_column_bytes(s, 0)));
}

std::string SqliteWebStore::LinkBefore(long long id) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s =
        Prepare(LINK_BEFORE, "SELECT chain FROM uploads WHERE id < ? ORDER BY id DESC LIMIT 1");
    const Use use(s);
    if (s == nullptr) {
        return "";
    }
    sqlite3_bind_int64(s, 1, id);
    return use.Row() ? Text(s, 0) : "";
}

bool SqliteWebStore::RecordLogin(const WebLogin& login) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(logins_db_,
                       "INSERT INTO web_logins (time, user_name, address, success) "
                       "VALUES (?, ?, ?, ?)",
                       -1, &s, nullptr);
    sqlite3_bind_text(s, 1, login.time.data(), static_cast<int>(login.time.size()), SQLITE_STATIC);
    sqlite3_bind_text(s, 2, login.user.data(), static_cast<int>(login.user.size()), SQLITE_STATIC);
    sqlite3_bind_text(s, 3, login.address.data(), static_cast<int>(login.address.size()),
                      SQLITE_STATIC);
    sqlite3_bind_int(s, 4, login.success ? 1 : 0);
    const bool written = s != nullptr && sqlite3_step(s) == SQLITE_DONE;
    sqlite3_finalize(s);
    return written;
}

long long SqliteWebStore::LoginCount() {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s = Prepare(LOGIN_COUNT, "SELECT COUNT(*) FROM web_logins");
    const Use use(s);
    return use.Row() ? sqlite3_column_int64(s, 0) : 0;
}

std::vector<WebLogin> SqliteWebStore::Logins(long long offset, int limit) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s = Prepare(LOGINS,
                              "SELECT time, user_name, address, success FROM web_logins "
                              "ORDER BY id DESC LIMIT ? OFFSET ?");
    const Use use(s);
    std::vector<WebLogin> logins;
    if (s == nullptr) {
        return logins;
    }
    sqlite3_bind_int(s, 1, limit);
    sqlite3_bind_int64(s, 2, offset);
    while (use.Row()) {
        logins.push_back({Text(s, 0), Text(s, 1), Text(s, 2), sqlite3_column_int(s, 3) != 0});
    }
    return logins;
}
