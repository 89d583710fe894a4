#pragma once
// What a quality manager decides from: the graph report's statistics, the time spent
// outside the card's limits, the mean kinetic temperature of the whole recording and of
// its worst 24 hours and 30 days, and the verdict of a profile's rules.

#include <optional>
#include <string>
#include <vector>

#include "logger/memory_image.h"
#include "reports/profile.h"
#include "reports/recording_stats.h"

// R of the MKT, J/(mol K).
constexpr double MKT_GAS_CONSTANT = 8.3144621;

constexpr long long SECONDS_24H = 86400;
constexpr long long SECONDS_30D = 30 * SECONDS_24H;

// Readings on one side of the card's limits, the alarm delay not applied; each reading
// lasts one interval.
struct TimeOutsideLimit {
    float limit = 0;  // degrees Celsius
    long long total_s = 0;
    long long longest_s = 0;
    int episodes = 0;
};

struct RuleOutcome {
    ProfileRule rule;
    bool passed = true;
    // Seconds for temperature and alarm rules; degrees Celsius for MKT rules, none when
    // there is no reading.
    std::optional<double> value;
};

struct RecordingSummary {
    long serial = 0;
    std::string description;  // UTF-8
    int readings = 0;
    int interval_s = 0;
    // Minimum, maximum, mean, deviation, the first and last reading's card time, and the
    // alarm episodes with the alarm delay applied.
    GraphReportValues stats;
    std::optional<double> mkt;  // none without readings
    std::optional<double> mkt_24h_max;
    std::optional<double> mkt_30d_max;
    TimeOutsideLimit below;
    TimeOutsideLimit above;
    std::string profile;
    double delta_h_kj = DEFAULT_DELTA_H_KJ;  // the profile's, which every MKT above used
    bool approved = true;
    std::vector<RuleOutcome> rules;
};

// The summary of a recording given as tenths of a degree Celsius, reading i stamped
// `start` advanced by (i + 1) intervals.
RecordingSummary SummarizeTenths(const std::vector<int>& tenths, int low_x10, int high_x10,
                                 int interval_s, int alarm_delay, const CALENDAR& start,
                                 const Profile& profile);

// The summary of a memory image, with the card's own times.
RecordingSummary SummarizeImage(const MemoryImage& image, const Profile& profile);

// "aprovado" or "reprovado".
const char* VerdictText(bool approved);

// One JSON object on one line, as `razurozavi-cli summary --json` prints it.
std::string SummaryJson(const RecordingSummary& summary);
// The same values as name=value lines, nested names joined by '.'.
std::string SummaryLines(const RecordingSummary& summary);

// "2025-03-03T10:05:00Z".
std::string IsoTimeText(const CALENDAR& c);
// `decimals` places with '.', whatever the locale; never "-0.0".
std::string DecimalText(double value, int decimals);
