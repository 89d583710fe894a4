#pragma once
// The web view's reading of a SQLite file: read-only, prepared statements only. Its
// logins go through a connection of their own, the only one that writes.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "web_store.h"

struct sqlite3;
struct sqlite3_stmt;

class SqliteWebStore final : public WebStore {
  public:
    static std::unique_ptr<SqliteWebStore> Open(const std::string& path, std::string* error);
    ~SqliteWebStore() override;

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
    explicit SqliteWebStore(sqlite3* db) : db_(db) {}
    sqlite3_stmt* Prepare(int which, const char* sql);

    std::mutex mutex_;  // the reading connection's
    sqlite3* db_;
    // A login's synced write holds no page read up.
    std::mutex logins_mutex_;
    sqlite3* logins_db_ = nullptr;
    std::vector<sqlite3_stmt*> statements_;
};
