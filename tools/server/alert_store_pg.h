#pragma once
// The alerts in the PostgreSQL database of the uploads (its tables made by the upload
// store's migration), through a connection of their own. Several servers sharing the
// database keep each event once, and a claimed alert is delivered by its claimant alone.

#include <mutex>
#include <string>

#include "alert_store.h"
#include "pg_connection.h"

class PgAlertStore final : public AlertStore {
  public:
    static std::unique_ptr<PgAlertStore> Open(const std::string& uri, std::string* error);

    bool Record(const std::vector<AlertEvent>& events, const std::vector<std::string>& channels,
                std::time_t now, std::string* why) override;
    std::vector<StoredAlert> Claim(std::time_t now, int lease_s, int limit,
                                   const std::vector<std::string>& channels) override;
    void MarkSent(long long id, std::time_t now) override;
    void MarkFailed(long long id, const std::string& error, std::time_t now,
                    std::time_t retry_at) override;
    std::optional<long long> CheckedThrough() override;
    void SetCheckedThrough(long long upload_id) override;
    std::optional<long long> LastUploadId() override;
    std::vector<StoredUpload> UploadsAfter(long long upload_id, int limit) override;
    std::optional<std::vector<int>> Readings(long long upload_id) override;
    std::vector<CardLastUpload> LastUploads() override;
    long long AlertCount() override;
    std::vector<StoredAlert> Alerts(long long offset, int limit) override;
    std::vector<StoredAlert> OpenAlerts(long serial) override;

  private:
    explicit PgAlertStore(const std::string& uri) : db_(uri) {}

    std::mutex mutex_;
    PgConnection db_;
};
