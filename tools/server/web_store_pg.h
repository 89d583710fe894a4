#pragma once
// The web view's reading of a PostgreSQL database, in read-only transactions.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pg_connection.h"
#include "web_store.h"

class PgWebStore final : public WebStore {
  public:
    static std::unique_ptr<PgWebStore> Open(const std::string& uri, std::string* error);

    long long CardCount() override;
    std::vector<CardRow> Cards(long long offset, int limit) override;
    std::optional<CardRow> Card(long serial) override;
    std::vector<StoredUpload> CardUploads(long serial, long long offset, int limit) override;
    std::optional<StoredUpload> Upload(long long id) override;
    std::vector<int> Readings(long long id) override;

  private:
    explicit PgWebStore(const std::string& uri) : db_(uri) {}
    // The query's rows; none when the database cannot be reached.
    PgResult Query(const char* sql, const std::vector<PgParam>& params, bool binary_result = false);

    std::mutex mutex_;
    PgConnection db_;
};
