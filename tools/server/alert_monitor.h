#pragma once
// The server's alert thread: at every interval it looks at the uploads stored since its last
// look and at each card's last upload time, keeps the events it finds in the alert store,
// and delivers those due. It works from the database alone, so a restarted server goes on
// where it stopped and sends nothing twice; it never holds the upload port up, which only
// stores.
//
// A failed delivery is tried again after the interval, then after twice as long each time,
// up to ALERT_RETRY_MAX_S.

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <thread>

#include "alert_delivery.h"
#include "alert_rules.h"
#include "alert_store.h"

constexpr int DEFAULT_ALERT_INTERVAL_S = 60;
constexpr int ALERT_RETRY_MAX_S = 3600;
// A claimed alert's delivery is left to its claimant this long (a server that died while
// sending leaves it to the others after that).
constexpr int ALERT_LEASE_S = 600;
// Uploads looked at per query, and alerts delivered per round at most.
constexpr int ALERT_UPLOADS_PER_ROUND = 500;
constexpr int ALERTS_PER_ROUND = 100;

// When an alert that has failed `attempts` times is tried again.
std::time_t AlertRetryAt(std::time_t now, int attempts, int interval_s);

class AlertMonitor {
  public:
    // `log` takes one line of the server's log.
    AlertMonitor(AlertStore& store, const AlertRules& rules, const AlertDelivery& delivery,
                 int interval_s, std::function<void(const std::string&)> log);
    ~AlertMonitor();
    AlertMonitor(const AlertMonitor&) = delete;
    AlertMonitor& operator=(const AlertMonitor&) = delete;

    void Start();
    // Returns once the thread has ended; a delivery under way is given up (and sent again
    // at the next start).
    void Stop();
    // One round: check, then deliver.
    void Round(std::time_t now);

  private:
    void Check(std::time_t now);
    void Deliver(std::time_t now);
    // False when the database could not keep them (not empty).
    bool Record(const std::vector<AlertEvent>& events, std::time_t now);

    AlertStore& store_;
    const AlertRules& rules_;
    const AlertDelivery& delivery_;
    const int interval_s_;
    std::function<void(const std::string&)> log_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stopping_ = false;  // set under mutex_, read by libcurl too
    std::thread thread_;
};
