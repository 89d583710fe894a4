#include "sqlite_statement.h"

sqlite3* OpenSqliteFile(const std::string& path, int flags, int busy_timeout_ms,
                        std::string* error) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        *error = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, busy_timeout_ms);
    return db;
}
