#include "web_store_pg.h"

#include "upload_store_pg.h"

namespace {

CardRow CardFrom(const PgResult& r, int row) {
    CardRow card;
    card.uploads = r.Int(row, 0);
    card.last = PgUploadFrom(r, row, 1);
    card.serial = card.last.serial;
    return card;
}

}  // namespace

std::unique_ptr<PgWebStore> PgWebStore::Open(const std::string& uri, std::string* error) {
    std::unique_ptr<PgWebStore> store(new PgWebStore(uri));
    // The web view writes nothing, whatever a page asks.
    store->db_.SetSessionSql("SET default_transaction_read_only = on");
    if (!store->db_.Ready(error) || !store->logins_db_.Ready(error)) {
        return nullptr;
    }
    return store;
}

long long PgWebStore::CardCount() {
    std::lock_guard lock(mutex_);
    const PgResult r = db_.RunReconnecting("SELECT count(*) FROM cards", {});
    return r.Rows() == 1 ? r.Int(0, 0) : 0;
}

std::vector<CardRow> PgWebStore::Cards(long long offset, int limit) {
    std::lock_guard lock(mutex_);
    const PgResult r = db_.RunReconnecting("SELECT c.uploads, " PG_UPLOAD_COLUMNS
                                           " FROM cards c JOIN uploads u ON u.id = c.last_id "
                                           "ORDER BY c.last_id DESC LIMIT $1 OFFSET $2",
                                           {PgNumber(limit), PgNumber(offset)});
    std::vector<CardRow> cards;
    for (int row = 0; row < r.Rows(); ++row) {
        cards.push_back(CardFrom(r, row));
    }
    return cards;
}

std::optional<CardRow> PgWebStore::Card(long serial) {
    std::lock_guard lock(mutex_);
    const PgResult r = db_.RunReconnecting("SELECT c.uploads, " PG_UPLOAD_COLUMNS
                                           " FROM cards c JOIN uploads u ON u.id = c.last_id "
                                           "WHERE c.serial = $1",
                                           {PgNumber(serial)});
    if (r.Rows() != 1) {
        return std::nullopt;
    }
    return CardFrom(r, 0);
}

std::vector<StoredUpload> PgWebStore::CardUploads(long serial, long long offset, int limit) {
    std::lock_guard lock(mutex_);
    // The page's ids first, from the index alone: the rows skipped on a deep page (a card
    // of five years has 73) are then never read from the table.
    const PgResult r = db_.RunReconnecting("SELECT " PG_UPLOAD_COLUMNS
                                           " FROM uploads u WHERE u.id IN (SELECT id FROM uploads"
                                           " WHERE serial = $1 ORDER BY id DESC LIMIT $2 OFFSET $3)"
                                           " ORDER BY u.id DESC",
                                           {PgNumber(serial), PgNumber(limit), PgNumber(offset)});
    std::vector<StoredUpload> uploads;
    for (int row = 0; row < r.Rows(); ++row) {
        uploads.push_back(PgUploadFrom(r, row, 0));
    }
    return uploads;
}

std::optional<StoredUpload> PgWebStore::Upload(long long id) {
    std::lock_guard lock(mutex_);
    const PgResult r = db_.RunReconnecting(
        "SELECT " PG_UPLOAD_COLUMNS " FROM uploads u WHERE u.id = $1", {PgNumber(id)});
    if (r.Rows() != 1) {
        return std::nullopt;
    }
    return PgUploadFrom(r, 0, 0);
}

std::vector<int> PgWebStore::Readings(long long id) {
    std::lock_guard lock(mutex_);
    return PgTenthsOf(id,
                      [&](const char* sql, const std::vector<PgParam>& params, bool binary_result) {
                          return db_.RunReconnecting(sql, params, binary_result);
                      })
        .value_or(std::vector<int>{});
}

std::string PgWebStore::LinkBefore(long long id) {
    std::lock_guard lock(mutex_);
    const PgResult r = db_.RunReconnecting(
        "SELECT chain FROM uploads WHERE id < $1 ORDER BY id DESC LIMIT 1", {PgNumber(id)});
    return r.Rows() == 1 ? r.Text(0, 0) : "";
}

bool PgWebStore::RecordLogin(const WebLogin& login) {
    std::lock_guard lock(logins_mutex_);
    std::string why;
    return logins_db_.Ready(&why) &&
           logins_db_
               .Run(
                   "INSERT INTO web_logins (time, user_name, address, success) "
                   "VALUES ($1, $2, $3, $4)",
                   {{login.time, false},
                    {login.user, false},
                    {login.address, false},
                    {login.success ? "true" : "false", false}})
               .Ok();
}

long long PgWebStore::LoginCount() {
    std::lock_guard lock(mutex_);
    const PgResult r = db_.RunReconnecting("SELECT count(*) FROM web_logins", {});
    return r.Rows() == 1 ? r.Int(0, 0) : 0;
}

std::vector<WebLogin> PgWebStore::Logins(long long offset, int limit) {
    std::lock_guard lock(mutex_);
    const PgResult r = db_.RunReconnecting(
        "SELECT time, user_name, address, success FROM web_logins "
        "ORDER BY id DESC LIMIT $1 OFFSET $2",
        {PgNumber(limit), PgNumber(offset)});
    std::vector<WebLogin> logins;
    for (int row = 0; row < r.Rows(); ++row) {
        logins.push_back({r.Text(row, 0), r.Text(row, 1), r.Text(row, 2), r.Text(row, 3) == "t"});
    }
    return logins;
}
