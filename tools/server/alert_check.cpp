#include "alert_check.h"

#include <cstdio>

#include "base/card_layout.h"
#include "logger/clock.h"
#include "reports/recording_summary.h"

namespace {

std::string Card(long serial) {
    return "Cartão " + std::to_string(serial);
}

std::string UploadText(const StoredUpload& u) {
    return " (envio " + std::to_string(u.id) + ", recebido em " + u.received + " UTC)";
}

AlertEvent Event(const AlertRule& rule, long serial, long long upload_id, std::string message) {
    return {rule.Name() + "@" + std::to_string(upload_id), serial, upload_id, rule.Name(),
            std::move(message)};
}

}  // namespace

std::vector<AlertEvent> UploadAlerts(const std::vector<AlertRule>& rules, const StoredUpload& u,
                                     const std::vector<int>& tenths) {
    std::vector<AlertEvent> events;
    const auto readings = static_cast<int>(tenths.size());
    const bool memory_full = readings >= MAX_IMAGE_READINGS;
    const bool points_reached = u.sample_points > 0 && readings >= u.sample_points;
    bool summarized = false;
    RecordingSummary s;
    for (const AlertRule& rule : rules) {
        if (!rule.Covers(u.serial)) {
            continue;
        }
        if (rule.kind == AlertKind::Full && (memory_full || points_reached)) {
            events.push_back(
                Event(rule, u.serial, u.id,
                      Card(u.serial) + " parou de gravar: " +
                          (memory_full ? "memória cheia"
                                       : "atingiu os " + std::to_string(u.sample_points) +
                                             " pontos configurados") +
                          ", " + std::to_string(readings) + " leituras" + UploadText(u)));
        }
        if (rule.kind != AlertKind::Limits) {
            continue;
        }
        if (!summarized) {
            s = SummarizeTenths(tenths, u.low_alarm_x10, u.high_alarm_x10, u.sample_rate,
                                u.alarm_delay, ZERO_CALENDAR, *BuiltInProfile(DEFAULT_PROFILE));
            summarized = true;
        }
        const std::size_t episodes = s.stats.low.episodes.size() + s.stats.high.episodes.size();
        const long long limit_s = static_cast<long long>(rule.minutes) * 60;
        const bool left = rule.minutes == 0
                              ? episodes > 0
                              : s.below.total_s > limit_s || s.above.total_s > limit_s;
        if (left) {
            events.push_back(
                Event(rule, u.serial, u.id,
                      Card(u.serial) + " saiu dos limites: " + std::to_string(episodes) +
                          (episodes == 1 ? " episódio" : " episódios") + " de alarme, " +
                          SToHMinS(s.below.total_s) + " abaixo e " + SToHMinS(s.above.total_s) +
                          " acima dos limites" + UploadText(u)));
        }
    }
    return events;
}

std::vector<AlertEvent> SilenceAlerts(const std::vector<AlertRule>& rules,
                                      const std::vector<CardLastUpload>& cards, std::time_t now) {
    std::vector<AlertEvent> events;
    for (const CardLastUpload& card : cards) {
        const std::time_t last = UtcSeconds(card.received);
        if (last < 0) {
            continue;
        }
        for (const AlertRule& rule : rules) {
            if (rule.kind != AlertKind::Silence || !rule.Covers(card.serial) ||
                now - last <= static_cast<std::time_t>(rule.hours) * 3600) {
                continue;
            }
            events.push_back(Event(rule, card.serial, card.upload_id,
                                   Card(card.serial) + " sem envios há mais de " +
                                       std::to_string(rule.hours) + " h: o último (envio " +
                                       std::to_string(card.upload_id) + ") chegou em " +
                                       card.received + " UTC"));
        }
    }
    return events;
}

std::time_t UtcSeconds(const std::string& text) {
    // The same form as --now's, read the same way; only the zone differs.
    const std::optional<CALENDAR> time = ParseLocalTimeText(text);
    if (!time) {
        return -1;
    }
    std::tm t{};
    t.tm_year = static_cast<int>(time->year) - 1900;
    t.tm_mon = time->month - 1;
    t.tm_mday = time->day;
    t.tm_hour = time->h;
    t.tm_min = time->m;
    t.tm_sec = time->s;
    return timegm(&t);
}

std::string UtcText(std::time_t seconds) {
    std::tm t{};
    gmtime_r(&seconds, &t);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}
