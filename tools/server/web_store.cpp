#include "web_store.h"

#include "web_store_pg.h"
#include "web_store_sqlite.h"

std::unique_ptr<WebStore> WebStore::Open(const std::string& db, std::string* error) {
    if (IsPostgresDatabase(db)) {
        return PgWebStore::Open(db, error);
    }
    return SqliteWebStore::Open(db, error);
}
