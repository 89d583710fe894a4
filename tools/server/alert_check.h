#pragma once
// Which alerts an uploaded recording raises, and which a card's silence raises: pure, from
// what the store holds, so that a server restarted finds the same events again. Each event
// has a key of its own (the rule and the upload it concerns), which the alert store keeps
// once.

#include <ctime>
#include <string>
#include <vector>

#include "alert_rules.h"
#include "upload_store.h"

struct AlertEvent {
    std::string key;  // "RULE@UPLOAD_ID"
    long serial = 0;
    long long upload_id = 0;  // the upload it concerns; for a silence, the card's last one
    std::string rule;         // AlertRule::Name()
    std::string message;      // UTF-8, one line
};

// The events of one upload and its readings (tenths of a degree).
std::vector<AlertEvent> UploadAlerts(const std::vector<AlertRule>& rules,
                                     const StoredUpload& upload, const std::vector<int>& tenths);

struct CardLastUpload {
    long serial = 0;
    long long upload_id = 0;
    std::string received;  // UTC, "YYYY-MM-DD HH:MM:SS"
};

// The cards silent longer than a rule allows at `now`.
std::vector<AlertEvent> SilenceAlerts(const std::vector<AlertRule>& rules,
                                      const std::vector<CardLastUpload>& cards, std::time_t now);

// "YYYY-MM-DD HH:MM:SS" in UTC as seconds since the epoch; -1 when it is no such time.
std::time_t UtcSeconds(const std::string& text);
// The other way round.
std::string UtcText(std::time_t seconds);
