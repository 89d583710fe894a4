#pragma once
// Where the collection server keeps what cards upload: one row per upload, its readings
// in one blob beside it (two bytes each, little-endian), and one row per card with its
// count of uploads; each upload written in one transaction, once. Two stores keep it so:
// a SQLite file (upload_store_sqlite.h) and a PostgreSQL database (upload_store_pg.h).
//
// Each upload's row also keeps the SHA-256 of its canonical bytes (UploadCanonicalBytes)
// and a link of a chain over all uploads in id order, SHA-256(previous link || this
// upload's digest), so that a row changed, removed or slipped in afterwards shows.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cloud/upload_messages.h"

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
    std::string sha256;  // hex, of UploadCanonicalBytes; empty when the row has none
    std::string chain;   // hex, this upload's link of the chain
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
    // SQLite at the file `db`, or PostgreSQL when `db` is a libpq connection string;
    // nothing, with `error` set, when it cannot be opened.
    static std::unique_ptr<UploadStore> Open(const std::string& db, std::string* error);
    UploadStore() = default;
    virtual ~UploadStore() = default;
    UploadStore(const UploadStore&) = delete;
    UploadStore& operator=(const UploadStore&) = delete;

    // One complete upload, all or nothing, durable when true. Safe from several threads.
    // `why` (when given) says what went wrong.
    bool Store(const std::string& peer, const UploadHeader& header,
               const std::vector<int>& readings, std::string* why = nullptr);
    // Several uploads in one transaction, one outcome each, in their order: the disk is
    // synced once for all of them, which is what bounds the uploads stored a second.
    virtual std::vector<StoreOutcome> StoreAll(const std::vector<UploadToStore>& uploads) = 0;
    // How long a store waits for a database locked by another process or server.
    virtual void SetBusyTimeout(int ms) = 0;
    // Oldest first.
    virtual std::vector<StoredUpload> List() = 0;
    virtual std::vector<int> Readings(long long upload_id) = 0;
};

// Whether `db` names a PostgreSQL database rather than a SQLite file: a libpq URI, or a
// keyword/value connection string such as "host=db1 dbname=coleta".
bool IsPostgresDatabase(const std::string& db);

// The header's fields as both stores keep them.
std::string VersionText(const std::array<std::uint8_t, 3>& version);
std::string DescriptionText(const std::array<std::uint8_t, DESCRIPTION_SIZE>& field);

// Readings as the store keeps them: each an int16, little-endian.
std::string PackTenths(const std::vector<int>& tenths);
std::vector<int> UnpackTenths(const void* blob, std::size_t bytes);

// An upload's row as both stores list its columns (id, received, peer, serial, description,
// the limits and delays, points, rate, stamp h m s day month year, firmware, software, unit,
// readings, sha256, chain), each column taken in turn from `number` or `text`.
StoredUpload UploadFromColumns(const std::function<long long()>& number,
                               const std::function<std::string()>& text);

// The header's fields as the store keeps them (id, received and peer left empty).
StoredUpload StoredFields(const UploadHeader& header);

// The bytes an upload's SHA-256 is taken over, made only from what the store keeps of it so
// that anyone can make them again from the database: "RZU1", then serial, description,
// low_alarm_x10, high_alarm_x10, start_delay, alarm_delay, sample_points, sample_rate,
// stamp year, month, day, hour, minute, second, firmware, software, temp_unit, the count
// of readings and the readings. Numbers are 8-byte little-endian two's complement, texts a
// 4-byte little-endian length and their UTF-8 bytes, readings 2-byte little-endian as the
// store keeps them. The received time and the peer are the server's notes on the delivery,
// not the recording: the same recording has the same digest whichever server took it.
std::string UploadCanonicalBytes(const StoredUpload& fields, const std::vector<int>& readings);
// The hex SHA-256 of UploadCanonicalBytes.
std::string UploadSha256(const StoredUpload& fields, const std::vector<int>& readings);
// The chain's link after `previous` (hex; empty before the first upload, which chains
// from 32 zero bytes) for an upload of digest `sha256` (hex).
std::string NextChainLink(const std::string& previous, const std::string& sha256);

// What --verify finds wrong with one upload.
struct UploadFault {
    long long id = 0;
    long serial = 0;
    std::string what;  // "readings or fields changed", "chain broken", ...
};

// Walks the chain from the first upload: each upload's digest made again from its stored
// fields and readings, each link from the one before. The faults, in id order.
std::vector<UploadFault> VerifyUploads(UploadStore& store, long long* checked);

// Whether one upload's digest matches its fields and readings and its link follows from
// `previous` (the link of the upload before it; empty when it is the first).
bool UploadHolds(const StoredUpload& upload, const std::vector<int>& readings,
                 const std::string& previous);

// The line `--list` prints for one upload.
std::string UploadLine(const StoredUpload& upload);
