#include "web_store_sqlite.h"

#include "sqlite_statement.h"
#include "upload_store_sqlite.h"

namespace {

constexpr int BUSY_TIMEOUT_MS = 5000;

// The lists go by card, newest first (the upload store made the indexes they need).

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
    // Read-write, so that a journal left by a crash can be rolled back; query_only below
    // forbids every other write.
    sqlite3* const db = OpenSqliteFile(path, SQLITE_OPEN_READWRITE, BUSY_TIMEOUT_MS, error);
    if (db == nullptr) {
        return nullptr;
    }
    std::unique_ptr<SqliteWebStore> store(new SqliteWebStore(db));
    if (sqlite3_exec(db, "PRAGMA query_only = ON", nullptr, nullptr, nullptr) != SQLITE_OK) {
        *error = sqlite3_errmsg(db);
        return nullptr;
    }
    store->statements_.assign(QUERY_COUNT, nullptr);
    store->logins_db_ = OpenSqliteFile(path, SQLITE_OPEN_READWRITE, BUSY_TIMEOUT_MS, error);
    if (store->logins_db_ == nullptr) {
        return nullptr;
    }
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
    sqlite3_stmt* s = Prepare(CARDS, "SELECT c.uploads, " SQLITE_UPLOAD_COLUMNS
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
        card.last = SqliteUploadFrom(s, 1);
        card.serial = card.last.serial;
        cards.push_back(std::move(card));
    }
    return cards;
}

std::optional<CardRow> SqliteWebStore::Card(long serial) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s = Prepare(CARD, "SELECT c.uploads, " SQLITE_UPLOAD_COLUMNS
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
    card.last = SqliteUploadFrom(s, 1);
    card.serial = card.last.serial;
    return card;
}

std::vector<StoredUpload> SqliteWebStore::CardUploads(long serial, long long offset, int limit) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s = Prepare(CARD_UPLOADS, "SELECT " SQLITE_UPLOAD_COLUMNS
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
        uploads.push_back(SqliteUploadFrom(s, 0));
    }
    return uploads;
}

std::optional<StoredUpload> SqliteWebStore::Upload(long long id) {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* s =
        Prepare(UPLOAD, "SELECT " SQLITE_UPLOAD_COLUMNS " FROM uploads u WHERE u.id = ?");
    const Use use(s);
    if (s == nullptr) {
        return std::nullopt;
    }
    sqlite3_bind_int64(s, 1, id);
    if (!use.Row()) {
        return std::nullopt;
    }
    return SqliteUploadFrom(s, 0);
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
    std::lock_guard lock(logins_mutex_);
    Statement insert(logins_db_,
                     "INSERT INTO web_logins (time, user_name, address, success) "
                     "VALUES (?, ?, ?, ?)");
    insert.Bind(1, login.time);
    insert.Bind(2, login.user);
    insert.Bind(3, login.address);
    insert.Bind(4, login.success ? 1LL : 0LL);
    return insert.Done();
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
