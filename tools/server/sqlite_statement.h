#pragma once
// What the SQLite stores share: a prepared statement finalized on every exit path, and
// opening a database file the way the server does.

#include <sqlite3.h>

#include <optional>
#include <string>

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
    bool Row() { return stmt_ != nullptr && sqlite3_step(stmt_) == SQLITE_ROW; }
    bool Done() { return stmt_ != nullptr && sqlite3_step(stmt_) == SQLITE_DONE; }
    int Int(int column) const { return sqlite3_column_int(stmt_, column); }
    long long Int64(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::optional<long long> MaybeInt64(int column) const {
        if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) {
            return std::nullopt;
        }
        return Int64(column);
    }
    std::string Text(int column) const {
        const unsigned char* text = sqlite3_column_text(stmt_, column);
        return text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

// The database at `path`, opened with `flags` (SQLITE_OPEN_*), safe from several threads
// and waiting `busy_timeout_ms` for a lock another connection holds; nothing, with `error`
// set, when it cannot be opened.
sqlite3* OpenSqliteFile(const std::string& path, int flags, int busy_timeout_ms,
                        std::string* error);
