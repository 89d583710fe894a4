#pragma once
// What the web view reads of the collection server's database, through a connection of
// its own. The uploads are written by UploadStore alone; stored uploads never change.
// The one thing the web view writes is its logins, through a second connection.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "upload_store.h"

// A card that ever uploaded, with its newest upload.
struct CardRow {
    long serial = 0;
    long long uploads = 0;
    StoredUpload last;
};

// One password checked by the web view.
struct WebLogin {
    std::string time;  // UTC, "YYYY-MM-DD HH:MM:SS"
    std::string user;  // as given, cleaned of what is not text
    std::string address;
    bool success = false;
};

class WebStore {
  public:
    // Opens the database that UploadStore::Open has made at `db` (a SQLite file or a
    // PostgreSQL URI); nothing, with `error` set, when it cannot.
    static std::unique_ptr<WebStore> Open(const std::string& db, std::string* error);
    WebStore() = default;
    virtual ~WebStore() = default;
    WebStore(const WebStore&) = delete;
    WebStore& operator=(const WebStore&) = delete;

    virtual long long CardCount() = 0;
    // Newest last upload first.
    virtual std::vector<CardRow> Cards(long long offset, int limit) = 0;
    virtual std::optional<CardRow> Card(long serial) = 0;
    // One card's uploads, newest first.
    virtual std::vector<StoredUpload> CardUploads(long serial, long long offset, int limit) = 0;
    virtual std::optional<StoredUpload> Upload(long long id) = 0;
    // Tenths of a degree, in recording order.
    virtual std::vector<int> Readings(long long id) = 0;
    // The chain's link of the upload before `id`; empty when `id` is the first.
    virtual std::string LinkBefore(long long id) = 0;

    // False when it could not be written.
    virtual bool RecordLogin(const WebLogin& login) = 0;
    virtual long long LoginCount() = 0;
    // Newest first.
    virtual std::vector<WebLogin> Logins(long long offset, int limit) = 0;
};
