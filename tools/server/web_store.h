#pragma once
// What the web view reads of the collection server's database: its own connection,
// made read-only once the indexes it needs exist, and prepared statements only. The
// uploads table is written by UploadStore alone; stored uploads never change.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "upload_store.h"

struct sqlite3;
struct sqlite3_stmt;

// A card that ever uploaded, with its newest upload.
struct CardRow {
    long serial = 0;
    long long uploads = 0;
    StoredUpload last;
};

class WebStore {
  public:
    // Opens the database that UploadStore::Open has made at `path`, creating the web
    // view's indexes when missing; nothing, with `error` set, when it cannot.
    static std::unique_ptr<WebStore> Open(const std::string& path, std::string* error);
    ~WebStore();
    WebStore(const WebStore&) = delete;
    WebStore& operator=(const WebStore&) = delete;

    long long CardCount();
    // Newest last upload first.
    std::vector<CardRow> Cards(long long offset, int limit);
    std::optional<CardRow> Card(long serial);
    // One card's uploads, newest first.
    std::vector<StoredUpload> CardUploads(long serial, long long offset, int limit);
    std::optional<StoredUpload> Upload(long long id);
    // Tenths of a degree, in recording order.
    std::vector<int> Readings(long long id);

  private:
    explicit WebStore(sqlite3* db) : db_(db) {}
    sqlite3_stmt* Prepare(int which, const char* sql);

    std::mutex mutex_;
    sqlite3* db_;
    std::vector<sqlite3_stmt*> statements_;
};
