#include "alert_monitor.h"

#include <algorithm>
#include <chrono>

std::time_t AlertRetryAt(std::time_t now, int attempts, int interval_s) {
    long long wait = interval_s;
    for (int k = 1; k < attempts && wait < ALERT_RETRY_MAX_S; ++k) {
        wait *= 2;
    }
    return now + std::min<long long>(wait, ALERT_RETRY_MAX_S);
}

AlertMonitor::AlertMonitor(AlertStore& store, const AlertRules& rules,
                           const AlertDelivery& delivery, int interval_s,
                           std::function<void(const std::string&)> log)
    : store_(store),
      rules_(rules),
      delivery_(delivery),
      interval_s_(interval_s),
      log_(std::move(log)) {}

AlertMonitor::~AlertMonitor() {
    Stop();
}

void AlertMonitor::Start() {
    thread_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            lock.unlock();
            Round(std::time(nullptr));
            lock.lock();
            wake_.wait_for(lock, std::chrono::seconds(interval_s_),
                           [this] { return stopping_.load(); });
        }
    });
}

void AlertMonitor::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void AlertMonitor::Round(std::time_t now) {
    Check(now);
    Deliver(now);
}

bool AlertMonitor::Record(const std::vector<AlertEvent>& events, std::time_t now) {
    std::string why;
    if (!store_.Record(events, delivery_.Channels(), now, &why)) {
        const std::string more =
            events.size() > 1 ? " and " + std::to_string(events.size() - 1) + " more" : "";
        log_("cannot record the alert " + events[0].key + more + ": " + why);
        return false;
    }
    return true;
}

void AlertMonitor::Check(std::time_t now) {
    // The uploads stored before alerts were first checked are history, not news.
    std::optional<long long> checked = store_.CheckedThrough();
    if (!checked) {
        const std::optional<long long> last = store_.LastUploadId();
        if (!last) {
            return;  // the database is away; the next round tries again
        }
        store_.SetCheckedThrough(*last);
        checked = store_.CheckedThrough();
        if (!checked) {
            return;
        }
    }
    // The mark moves past uploads only once their alerts are kept, a batch in one
    // transaction: one that cannot be read or recorded now is looked at again next round
    // (its keys keep it once).
    for (;;) {
        const std::vector<StoredUpload> uploads =
            store_.UploadsAfter(*checked, ALERT_UPLOADS_PER_ROUND);
        std::vector<AlertEvent> events;
        long long through = *checked;
        bool unread = false;
        for (const StoredUpload& upload : uploads) {
            const std::optional<std::vector<int>> tenths = store_.Readings(upload.id);
            if (!tenths) {
                log_("cannot read the readings of upload " + std::to_string(upload.id) +
                     " for its alerts; trying again");
                unread = true;
                break;
            }
            for (AlertEvent& event : UploadAlerts(rules_.rules, upload, *tenths)) {
                events.push_back(std::move(event));
            }
            through = upload.id;
        }
        if (through == *checked || (!events.empty() && !Record(events, now))) {
            break;
        }
        store_.SetCheckedThrough(through);
        *checked = through;
        if (unread || uploads.size() < static_cast<std::size_t>(ALERT_UPLOADS_PER_ROUND)) {
            break;
        }
    }
    const std::vector<AlertEvent> silent = SilenceAlerts(rules_.rules, store_.LastUploads(), now);
    if (!silent.empty()) {
        Record(silent, now);
    }
}

void AlertMonitor::Deliver(std::time_t now) {
    // A receiver that failed is not tried again this round: one that is down, or answers
    // only after the time-out, must not hold the check up alert after alert.
    std::vector<std::string> channels = delivery_.Channels();
    // One at a time, so that a server stopping leaves none claimed but the one under way.
    for (int k = 0; k < ALERTS_PER_ROUND && !channels.empty(); ++k) {
        if (stopping_) {
            return;
        }
        const std::vector<StoredAlert> claimed = store_.Claim(now, ALERT_LEASE_S, 1, channels);
        if (claimed.empty()) {
            return;
        }
        const StoredAlert& alert = claimed.front();
        const std::time_t attempt = std::time(nullptr);
        const std::string error = delivery_.Send(alert, attempt, stopping_);
        if (error.empty()) {
            store_.MarkSent(alert.id, std::time(nullptr));
        } else {
            log_("alert " + std::to_string(alert.id) + " by " + alert.channel +
                 " not delivered: " + error);
            // From the round's time, so that no alert is tried twice in one round.
            store_.MarkFailed(alert.id, error, attempt,
                              AlertRetryAt(now, alert.attempts + 1, interval_s_));
            std::erase(channels, alert.channel);
        }
    }
}
