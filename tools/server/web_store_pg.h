#pragma once
// The web view's reading of a PostgreSQL database, in read-only transactions; its logins
// go through a connection of their own, the only one that writes.

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
    std::string LinkBefore(long long id) override;
    bool RecordLogin(const WebLogin& login) override;
    long long LoginCount() override;
    std::vector<WebLogin> Logins(long long offset, int limit) override;

  private:
    explicit PgWebStore(const std::string& uri) : db_(uri), logins_db_(uri) {}

    std::mutex mutex_;  // the reading connection's
    PgConnection db_;
    // A login's write holds no page read up.
    std::mutex logins_mutex_;
    PgConnection logins_db_;
};
