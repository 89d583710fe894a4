#pragma once
// One stored upload as the web view shows it: the time of every reading, derived from
// what the upload carries, and the graph report's statistics and alarm episodes.
//
// Reading times. The card stamps reading i (from 0) with its start time advanced by
// (i + 1) intervals; the upload's time stamp is that start time, shifted to
// Brasília time, advanced by (n + 1) intervals for n readings, with a two-digit year:
// one interval after the last reading. So the start is the stamp (year
// 2000 + the two digits) taken back by (n + 1) intervals, and reading i is that start
// stepped forward (i + 1) intervals with the card's own calendar (AdvanceCalendar). The
// start is accepted only when stepping it forward by (n + 1) intervals gives the stamp
// back exactly; a stamp that is no real date leaves the times unknown.

#include <optional>
#include <string>
#include <vector>

#include "reports/recording_stats.h"
#include "upload_store.h"

// The time before the first reading: reading i is this advanced by (i + 1) intervals.
// Nothing when the stamp is no date the card's calendar can reach.
std::optional<CALENDAR> RecordingStart(const CALENDAR& stamp, int readings, int sample_rate);

struct Recording {
    StoredUpload upload;
    std::vector<int> tenths;
    bool times_known = false;
    CALENDAR start = ZERO_CALENDAR;  // when times_known
    GraphReportValues stats;         // the graph report's values, from the tenths
};

Recording MakeRecording(StoredUpload upload, std::vector<int> tenths);

// The time stamp of reading `index` (from 0); only when times_known.
CALENDAR ReadingTime(const Recording& r, int index);

// Confirmed readings outside the limits, both sides, times the interval.
long long SecondsOutside(const GraphReportValues& v);

// What the list pages show of one upload.
struct UploadSummary {
    int readings = 0;
    bool times_known = false;
    CALENDAR first = ZERO_CALENDAR;
    CALENDAR last = ZERO_CALENDAR;
    float minimum = 0;
    float maximum = 0;
    int low_episodes = 0;
    int high_episodes = 0;
    long long seconds_outside = 0;
    bool approved = true;  // by the server's profile (WebView::SummaryOf)
    bool left_limits() const { return low_episodes + high_episodes > 0; }
};
UploadSummary Summarize(const Recording& r);

// A reading outside the limits, as the graph report decides it: below the low limit, or
// at or above the high one.
bool OutsideLimits(int tenths, int low_x10, int high_x10);

// The chart's points: for `columns` pixel columns at most, each column's lowest and
// highest reading in the order they occur, so that no excursion disappears; every
// reading when they fit. Indexes into the readings.
std::vector<int> ChartPoints(const std::vector<int>& tenths, int columns);
