#pragma once
// Where the collection server keeps what cards upload: a SQLite database with one row
// per upload, its readings in one blob beside it (two bytes each, little-endian), and one
// row per card with its count of uploads; each upload written in one transaction, once.
// The rollback journal is synced at every commit, so an upload stored is on the disk when
// Store() returns, and a crash at any moment leaves whole uploads only. A database file
// deleted or replaced under the server is noticed before each store, which then fails.

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cloud/upload_messages.h"

struct sqlite3;

struct StoredUpload {
    long long id = 0;
    std::string received;  // UTC, "YYYY-MM-DD HH:MM:SS"
    std::string peer;      // the client's address
    long serial = 0;
    std::string description;  // UTF-8, trailing blanks dropped
    int low_alarm_x10 = 0;
    int high_alarm_x10 = 0;
    int start_delay = 0;
    int alarm_delay = 0;
    int sample_points = 0;
    int sample_rate = 0;
    CALENDAR stamp;        // as sent: one interval after the last reading, two-digit year
    std::string firmware;  // "1.0.3"
    std::string software;  // "1.0.4"
    int temp_unit = 0;
    int readings = 0;
};

struct UploadToStore {
    std::string peer;
    UploadHeader header;
    std::vector<int> readings;
};

struct StoreOutcome {
    bool stored = false;
    std::string why;  // when not stored
};

class UploadStore {
  public:
    // Opens (creating when needed) the database at `path`; nothing, with `error`
    // set, when it cannot.
    static std::unique_ptr<UploadStore> Open(const std::string& path, std::string* error);
    ~UploadStore();
    UploadStore(const UploadStore&) = delete;
    UploadStore& operator=(const UploadStore&) = delete;

    // One complete upload, all or nothing, durable when true. Safe from several threads.
    // `why` (when given) says what went wrong.
    bool Store(const std::string& peer, const UploadHeader& header,
               const std::vector<int>& readings, std::string* why = nullptr);
    // Several uploads in one transaction, one outcome each, in their order: the disk is
    // synced once for all of them, which is what bounds the uploads stored a second.
    std::vector<StoreOutcome> StoreAll(const std::vector<UploadToStore>& uploads);
    // How long a store waits for a database locked by another process.
    void SetBusyTimeout(int ms);
    // Oldest first.
    std::vector<StoredUpload> List();
    std::vector<int> Readings(long long upload_id);

  private:
    UploadStore(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    // Why the file at the path is not the one opened (deleted, replaced); empty when it is.
    std::string FileChanged() const;
    bool Execute(const char* sql);
    // Brings a database of an earlier schema to this one, in place.
    bool Migrate();
    bool MoveReadingsIntoBlobs();
    // One upload inside the open transaction; true when stored or already there.
    bool Insert(const UploadToStore& upload, std::string* why);

    struct FileIdentity {
        dev_t device;
        ino_t inode;
    };

    std::mutex mutex_;
    sqlite3* db_;
    std::string path_;
    std::optional<FileIdentity> file_;  // none for a database in memory
};

// Readings as the store keeps them: each an int16, little-endian.
std::string PackTenths(const std::vector<int>& tenths);
std::vector<int> UnpackTenths(const void* blob, std::size_t bytes);

// The line `--list` prints for one upload.
std::string UploadLine(const StoredUpload& upload);
