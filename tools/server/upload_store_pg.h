#pragma once
// The uploads in a PostgreSQL database, which several servers may share: the same
// recording is one row whichever server it reached (a unique key on the card, its time
// stamp and a digest of its readings), and a store answers only after its commit. A
// database that went away fails the stores until it is back; each store connects again.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pg_connection.h"
#include "upload_store.h"

class PgUploadStore final : public UploadStore {
  public:
    // Connects to the database at the libpq `uri`, creating or bringing its tables up to
    // date; nothing, with `error` set, when it cannot.
    static std::unique_ptr<PgUploadStore> Open(const std::string& uri, std::string* error);

    std::vector<StoreOutcome> StoreAll(const std::vector<UploadToStore>& uploads) override;
    void SetBusyTimeout(int ms) override;
    std::vector<StoredUpload> List() override;
    std::vector<int> Readings(long long upload_id) override;

  private:
    explicit PgUploadStore(const std::string& uri) : db_(uri) {}
    bool Migrate(std::string* why);
    // Gives the uploads stored before the chain their digest and link, in id order.
    bool FillChain();
    // The newest upload's link of the chain; empty when there is none.
    std::string LastLink();
    std::vector<int> ReadingsOf(long long upload_id);
    // One upload inside the open transaction; true when stored or already there. `link`
    // is the chain's last link, moved on when the upload is stored anew.
    bool Insert(const UploadToStore& upload, std::string* link, std::string* why);

    std::mutex mutex_;
    PgConnection db_;
};

// The schema version this server makes and reads.
constexpr int kPgSchemaVersion = 4;

// The columns of StoredUpload, in its order, for "FROM uploads u".
#define PG_UPLOAD_COLUMNS                                                                    \
    "u.id, u.received, u.peer, u.serial, u.description, u.low_alarm_x10, u.high_alarm_x10, " \
    "u.start_delay, u.alarm_delay, u.sample_points, u.sample_rate, u.stamp_hour, "           \
    "u.stamp_minute, u.stamp_second, u.stamp_day, u.stamp_month, u.stamp_year, u.firmware, " \
    "u.software, u.temp_unit, u.readings, u.sha256, u.chain"

// One row of PG_UPLOAD_COLUMNS, from `column` on.
StoredUpload PgUploadFrom(const PgResult& result, int row, int column);

// The readings of upload `upload_id`, read through `query`; nothing when it is not there,
// its month was archived or the database cannot be reached.
std::optional<std::vector<int>> PgTenthsOf(
    long long upload_id,
    const std::function<PgResult(const char*, const std::vector<PgParam>&, bool)>& query);
