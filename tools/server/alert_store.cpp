#include "alert_store.h"

#include "alert_store_pg.h"
#include "alert_store_sqlite.h"

std::unique_ptr<AlertStore> AlertStore::Open(const std::string& db, std::string* error) {
    if (IsPostgresDatabase(db)) {
        return PgAlertStore::Open(db, error);
    }
    return SqliteAlertStore::Open(db, error);
}
