#include "alert_store_pg.h"

#include "upload_store_pg.h"

namespace {

#define ALERT_COLUMNS                                                     \
    "id, event_key, channel, serial, upload_id, rule, message, created, " \
    "coalesce(sent, -1), attempts, last_error, coalesce(last_attempt, -1)"

std::optional<std::time_t> MaybeTime(long long value) {
    return value < 0 ? std::nullopt : std::optional<std::time_t>(value);
}

std::vector<StoredAlert> AlertsFrom(const PgResult& r) {
    std::vector<StoredAlert> alerts;
    for (int row = 0; row < r.Rows(); ++row) {
        StoredAlert a;
        a.id = r.Int(row, 0);
        a.key = r.Text(row, 1);
        a.channel = r.Text(row, 2);
        a.serial = static_cast<long>(r.Int(row, 3));
        a.upload_id = r.Int(row, 4);
        a.rule = r.Text(row, 5);
        a.message = r.Text(row, 6);
        a.created = static_cast<std::time_t>(r.Int(row, 7));
        a.sent = MaybeTime(r.Int(row, 8));
        a.attempts = static_cast<int>(r.Int(row, 9));
        a.last_error = r.Text(row, 10);
        a.last_attempt = MaybeTime(r.Int(row, 11));
        alerts.push_back(std::move(a));
    }
    return alerts;
}

}  // namespace

std::unique_ptr<PgAlertStore> PgAlertStore::Open(const std::string& uri, std::string* error) {
    std::unique_ptr<PgAlertStore> store(new PgAlertStore(uri));
    if (!store->db_.Ready(error)) {
        return nullptr;
    }
    return store;
}

bool PgAlertStore::Record(const std::vector<AlertEvent>& events,
                          const std::vector<std::string>& channels, std::time_t now,
                          std::string* why) {
    std::lock_guard lock(mutex_);
    if (events.empty()) {
        return true;
    }
    const auto failed = [&] {
        *why = db_.Error();
        db_.Run("ROLLBACK");
        return false;
    };
    if (!db_.Begin(why)) {
        return false;
    }
    for (const AlertEvent& event : events) {
        for (const std::string& channel : channels) {
            const PgResult r = db_.Run(
                "INSERT INTO alerts (event_key, channel, serial, upload_id, rule, message, created,"
                " next_attempt) VALUES ($1, $2, $3, $4, $5, $6, $7, $7)"
                " ON CONFLICT (event_key, channel) DO NOTHING",
                {{event.key, false},
                 {channel, false},
                 PgNumber(event.serial),
                 PgNumber(event.upload_id),
                 {event.rule, false},
                 {event.message, false},
                 PgNumber(now)});
            if (!r.Ok()) {
                return failed();
            }
        }
    }
    return db_.Run("COMMIT").Ok() || failed();
}

std::vector<StoredAlert> PgAlertStore::Claim(std::time_t now, int lease_s, int limit,
                                             const std::vector<std::string>& channels) {
    std::lock_guard lock(mutex_);
    if (channels.empty()) {
        return {};
    }
    return AlertsFrom(db_.RunReconnecting(
        "UPDATE alerts SET next_attempt = $1 WHERE id IN (SELECT id FROM alerts"
        " WHERE sent IS NULL AND next_attempt <= $2 AND channel IN ($4, $5) ORDER BY id"
        " LIMIT $3 FOR UPDATE SKIP LOCKED) RETURNING " ALERT_COLUMNS,
        {PgNumber(now + lease_s),
         PgNumber(now),
         PgNumber(limit),
         {channels.front(), false},
         {channels.back(), false}}));
}

void PgAlertStore::MarkSent(long long id, std::time_t now) {
    std::lock_guard lock(mutex_);
    db_.RunReconnecting("UPDATE alerts SET sent = $1, last_attempt = $1 WHERE id = $2",
                        {PgNumber(now), PgNumber(id)});
}

void PgAlertStore::MarkFailed(long long id, const std::string& error, std::time_t now,
                              std::time_t retry_at) {
    std::lock_guard lock(mutex_);
    db_.RunReconnecting(
        "UPDATE alerts SET attempts = attempts + 1, last_error = $1, last_attempt = $2,"
        " next_attempt = $3 WHERE id = $4",
        {{error, false}, PgNumber(now), PgNumber(retry_at), PgNumber(id)});
}

std::optional<long long> PgAlertStore::CheckedThrough() {
    std::lock_guard lock(mutex_);
    const PgResult r =
        db_.RunReconnecting("SELECT value FROM alert_state WHERE name = 'checked_through'");
    if (r.Rows() != 1) {
        return std::nullopt;
    }
    return r.Int(0, 0);
}

void PgAlertStore::SetCheckedThrough(long long upload_id) {
    std::lock_guard lock(mutex_);
    db_.RunReconnecting(
        "INSERT INTO alert_state (name, value) VALUES ('checked_through', $1)"
        " ON CONFLICT (name) DO UPDATE SET value = GREATEST(alert_state.value, excluded.value)",
        {PgNumber(upload_id)});
}

std::optional<long long> PgAlertStore::LastUploadId() {
    std::lock_guard lock(mutex_);
    const PgResult r = db_.RunReconnecting("SELECT coalesce(max(id), 0) FROM uploads");
    if (r.Rows() != 1) {
        return std::nullopt;
    }
    return r.Int(0, 0);
}

std::vector<StoredUpload> PgAlertStore::UploadsAfter(long long upload_id, int limit) {
    std::lock_guard lock(mutex_);
    const PgResult r = db_.RunReconnecting(
        "SELECT id, received, serial, low_alarm_x10, high_alarm_x10, alarm_delay, sample_points,"
        " sample_rate FROM uploads WHERE id > $1 ORDER BY id LIMIT $2",
        {PgNumber(upload_id), PgNumber(limit)});
    std::vector<StoredUpload> uploads;
    for (int row = 0; row < r.Rows(); ++row) {
        StoredUpload u;
        u.id = r.Int(row, 0);
        u.received = r.Text(row, 1);
        u.serial = static_cast<long>(r.Int(row, 2));
        u.low_alarm_x10 = static_cast<int>(r.Int(row, 3));
        u.high_alarm_x10 = static_cast<int>(r.Int(row, 4));
        u.alarm_delay = static_cast<int>(r.Int(row, 5));
        u.sample_points = static_cast<int>(r.Int(row, 6));
        u.sample_rate = static_cast<int>(r.Int(row, 7));
        uploads.push_back(std::move(u));
    }
    return uploads;
}

std::optional<std::vector<int>> PgAlertStore::Readings(long long upload_id) {
    std::lock_guard lock(mutex_);
    // Through the upload's month, so that one partition is looked at.
    return PgTenthsOf(upload_id,
                      [&](const char* sql, const std::vector<PgParam>& params, bool binary_result) {
                          return db_.RunReconnecting(sql, params, binary_result);
                      });
}

std::vector<CardLastUpload> PgAlertStore::LastUploads() {
    std::lock_guard lock(mutex_);
    const PgResult r = db_.RunReconnecting(
        "SELECT c.serial, c.last_id, u.received FROM cards c JOIN uploads u ON u.id = c.last_id"
        " ORDER BY c.serial");
    std::vector<CardLastUpload> cards;
    for (int row = 0; row < r.Rows(); ++row) {
        cards.push_back({static_cast<long>(r.Int(row, 0)), r.Int(row, 1), r.Text(row, 2)});
    }
    return cards;
}

long long PgAlertStore::AlertCount() {
    std::lock_guard lock(mutex_);
    const PgResult r = db_.RunReconnecting("SELECT count(*) FROM alerts");
    return r.Rows() == 1 ? r.Int(0, 0) : 0;
}

std::vector<StoredAlert> PgAlertStore::Alerts(long long offset, int limit) {
    std::lock_guard lock(mutex_);
    return AlertsFrom(db_.RunReconnecting("SELECT " ALERT_COLUMNS
                                          " FROM alerts ORDER BY id DESC LIMIT $1 OFFSET $2",
                                          {PgNumber(limit), PgNumber(offset)}));
}

std::vector<StoredAlert> PgAlertStore::OpenAlerts(long serial) {
    std::lock_guard lock(mutex_);
    return AlertsFrom(
        db_.RunReconnecting("SELECT " ALERT_COLUMNS " FROM alerts WHERE serial = $1 AND upload_id ="
                            " (SELECT last_id FROM cards WHERE serial = $1) ORDER BY id DESC",
                            {PgNumber(serial)}));
}
