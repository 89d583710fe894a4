#pragma once
// The one-page "Resumo": the verdict first and large, then each rule with what was
// measured, the time outside the card's limits, the MKT figures and the statistics.

#include <string>
#include <string_view>

#include "reports/recording_summary.h"

// "temperatura >= 8.0 °C por 10h seguidas", "MKT em 24h <= 25.0 °C", "alarme inferior do
// cartão": what a rule fails or passes on.
std::string RuleConditionText(const ProfileRule& rule);
// What a rule measured: "10h 25min 0s" or "5.21 °C" ("-" without readings).
std::string RuleValueText(const RuleOutcome& outcome);
// "1d", "10h", "60min", "90s".
std::string DurationText(long long seconds);

// The data window's verdict line: "APROVADO — perfil cartao", or "REPROVADO — perfil
// oms-30dtr: calor 10h 25min ≥ 8,0 °C" with every failed rule and what it measured.
std::string VerdictLineText(const RecordingSummary& summary);

// Writes the page to `path` (which its foot prints), with times shifted by
// `gmt_offset_hours` as the other reports shift them, bound to the data file whose
// SHA-256 is `data_sha256`. False, with `error` set and any earlier file at the path
// untouched, when it could not be written.
bool WriteSummaryReport(const std::string& path, const RecordingSummary& summary,
                        int gmt_offset_hours, std::string_view data_sha256, std::string* error);
