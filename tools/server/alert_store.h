#pragma once
// Where the collection server keeps its alerts, beside the uploads in the same database:
// one row per event and channel ("mail", "webhook"), kept once by its key, with what became
// of its delivery (sent when, failed attempts, the last error, the next attempt). Also what
// the alert check reads: the uploads after the last one checked, and each card's last upload.
// Times are seconds since the epoch, UTC.

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alert_check.h"
#include "upload_store.h"

struct StoredAlert {
    long long id = 0;
    std::string key;
    std::string channel;
    long serial = 0;
    long long upload_id = 0;
    std::string rule;
    std::string message;
    std::time_t created = 0;
    std::optional<std::time_t> sent;
    int attempts = 0;  // failed ones
    std::string last_error;
    std::optional<std::time_t> last_attempt;
};

class AlertStore {
  public:
    // The alert tables of the database that UploadStore::Open has made at `db`, through a
    // connection of its own (in SQLite they are made here when missing); nothing, with
    // `error` set, when it cannot be opened.
    static std::unique_ptr<AlertStore> Open(const std::string& db, std::string* error);
    AlertStore() = default;
    virtual ~AlertStore() = default;
    AlertStore(const AlertStore&) = delete;
    AlertStore& operator=(const AlertStore&) = delete;

    // Keeps each event for each channel, unless already kept, all in one transaction; due
    // at once. False with `why` when the database could not be written.
    virtual bool Record(const std::vector<AlertEvent>& events,
                        const std::vector<std::string>& channels, std::time_t now,
                        std::string* why) = 0;
    // Up to `limit` alerts due at `now` on `channels` (one or two), each taken for `lease_s`
    // seconds, so that another server sharing the database does not deliver it meanwhile.
    // An alert for a channel the rules no longer name waits until they name it again.
    virtual std::vector<StoredAlert> Claim(std::time_t now, int lease_s, int limit,
                                           const std::vector<std::string>& channels) = 0;
    virtual void MarkSent(long long id, std::time_t now) = 0;
    virtual void MarkFailed(long long id, const std::string& error, std::time_t now,
                            std::time_t retry_at) = 0;

    // The last upload the check has looked at; none before the first check.
    virtual std::optional<long long> CheckedThrough() = 0;
    virtual void SetCheckedThrough(long long upload_id) = 0;
    // The newest upload's id, 0 without uploads; none when the database cannot be read.
    virtual std::optional<long long> LastUploadId() = 0;
    // Oldest first.
    virtual std::vector<StoredUpload> UploadsAfter(long long upload_id, int limit) = 0;
    // None when the database cannot be read (an alert missed would stay missed).
    virtual std::optional<std::vector<int>> Readings(long long upload_id) = 0;
    virtual std::vector<CardLastUpload> LastUploads() = 0;

    // Newest first.
    virtual long long AlertCount() = 0;
    virtual std::vector<StoredAlert> Alerts(long long offset, int limit) = 0;
    // The card's alerts about its last upload: still true until it uploads again.
    virtual std::vector<StoredAlert> OpenAlerts(long serial) = 0;
};
