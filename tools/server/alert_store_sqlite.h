#pragma once
// The alerts in the SQLite file of the uploads, through a connection of their own.

#include <mutex>
#include <string>

#include "alert_store.h"

struct sqlite3;

class SqliteAlertStore final : public AlertStore {
  public:
    static std::unique_ptr<SqliteAlertStore> Open(const std::string& path, std::string* error);
    ~SqliteAlertStore() override;

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
    explicit SqliteAlertStore(sqlite3* db) : db_(db) {}
    bool Execute(const char* sql);

    std::mutex mutex_;
    sqlite3* db_;
};
