#pragma once
// The uploads in a SQLite file. The rollback journal is synced at every commit, so an
// upload stored is on the disk when Store() returns, and a crash at any moment leaves
// whole uploads only. A database file deleted or replaced under the server is noticed
// before each store, which then fails.

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "upload_store.h"

struct sqlite3;
struct sqlite3_stmt;

// The columns of StoredUpload, in its order, for "FROM uploads u".
#define SQLITE_UPLOAD_COLUMNS                                                                 \
    "u.id, u.received, u.peer, u.serial, u.description, u.low_alarm_x10, u.high_alarm_x10, "  \
    "u.start_delay, u.alarm_delay, u.sample_points, u.sample_rate, u.stamp_hour, "            \
    "u.stamp_minute, u.stamp_second, u.stamp_day, u.stamp_month, u.stamp_year, u.firmware, "  \
    "u.software, u.temp_unit, "                                                               \
    "(SELECT length(t.tenths) / 2 FROM upload_tenths t WHERE t.upload_id = u.id), u.sha256, " \
    "u.chain"

// One row of SQLITE_UPLOAD_COLUMNS, from `column` on.
StoredUpload SqliteUploadFrom(sqlite3_stmt* statement, int column);

class SqliteUploadStore final : public UploadStore {
  public:
    // Opens (creating when needed) the database at `path`; nothing, with `error`
    // set, when it cannot.
    static std::unique_ptr<SqliteUploadStore> Open(const std::string& path, std::string* error);
    ~SqliteUploadStore() override;

    std::vector<StoreOutcome> StoreAll(const std::vector<UploadToStore>& uploads) override;
    void SetBusyTimeout(int ms) override;
    std::vector<StoredUpload> List() override;
    std::vector<int> Readings(long long upload_id) override;

  private:
    SqliteUploadStore(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    // Why the file at the path is not the one opened (deleted, replaced); empty when it is.
    std::string FileChanged() const;
    bool Execute(const char* sql);
    // Brings a database of an earlier schema to this one, in place.
    bool Migrate();
    bool MoveReadingsIntoBlobs();
    // Gives the uploads without a digest and link theirs, in id order.
    bool ChainUploads();
    // The newest upload's link of the chain; empty when there is none.
    std::string LastLink();
    std::vector<int> ReadingsOf(long long upload_id);
    // One upload inside the open transaction; true when stored or already there. `link`
    // is the chain's last link, moved on when the upload is stored anew.
    bool Insert(const UploadToStore& upload, std::string* link, std::string* why);

    struct FileIdentity {
        dev_t device;
        ino_t inode;
    };

    std::mutex mutex_;
    sqlite3* db_;
    std::string path_;
    std::optional<FileIdentity> file_;  // none for a database in memory
};
