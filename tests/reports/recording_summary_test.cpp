#include "reports/recording_summary.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/pdf_check.h"

// Expected MKTs were worked out apart from this code, with R = 8.3144621 J/(mol K):
// Tk = (dH / R) / -ln(mean of exp(-dH / (R (t + 273.15)))) - 273.15.

namespace {

// Readings as (count, tenths) pieces.
std::vector<int> Pieces(std::initializer_list<std::pair<int, int>> pieces) {
    std::vector<int> tenths;
    for (const auto& [count, value] : pieces) {
        tenths.insert(tenths.end(), static_cast<std::size_t>(count), value);
    }
    return tenths;
}

Profile Parsed(const std::string& text) {
    auto parsed = ParseProfile("teste", text);
    EXPECT_TRUE(std::holds_alternative<Profile>(parsed)) << text;
    return std::get<Profile>(parsed);
}

// The card's limits 2.0 and 8.0 C and no alarm delay unless given.
RecordingSummary Summary(const std::vector<int>& tenths, int interval_s, const Profile& profile,
                         int alarm_delay = 0) {
    return SummarizeTenths(tenths, 20, 80, interval_s, alarm_delay, {0, 0, 10, 5, 3, 2014},
                           profile);
}

const RuleOutcome& Rule(const RecordingSummary& summary, const std::string& name) {
    const auto found = std::ranges::find(summary.rules, name, [](auto& r) { return r.rule.name; });
    return found != summary.rules.end() ? *found : throw std::runtime_error("no rule " + name);
}

TEST(RecordingSummaryTest, ASingleRuleFailsOnlyWhenOneRunLastsTheWholeDuration) {
    const Profile oms = *BuiltInProfile("oms-30dtr");
    // Twelve readings at 5 min exactly at -0.5 C last one hour; eleven do not.
    EXPECT_FALSE(Summary(Pieces({{3, 20}, {12, -5}, {3, 20}}), 300, oms).approved);
    EXPECT_TRUE(Summary(Pieces({{3, 20}, {11, -5}, {3, 20}}), 300, oms).approved);
    // -0.4 C breaks the run: two half hours are no hour.
    EXPECT_EQ(Rule(Summary(Pieces({{6, -5}, {1, -4}, {6, -6}}), 300, oms), "congelamento").value,
              1800);
    // Ten hours at 8.0 C or above fail; 7.9 C does not count.
    EXPECT_EQ(Rule(Summary(Pieces({{119, 80}, {1, 79}, {119, 80}}), 300, oms), "calor").value,
              35700);
}

TEST(RecordingSummaryTest, ACumulativeRuleAddsSeparateEpisodes) {
    const Profile qtag = *BuiltInProfile("oms-qtag-1");
    // 4 h + 3 h + 3 h at 30 C or above, half-hourly, with cooler hours between.
    const RecordingSummary ten_hours =
        Summary(Pieces({{8, 300}, {2, 250}, {6, 300}, {2, 250}, {6, 301}, {2, 299}}), 1800, qtag);
    EXPECT_EQ(Rule(ten_hours, "calor").value, 36000);
    EXPECT_TRUE(
        Summary(Pieces({{8, 300}, {2, 250}, {6, 300}, {2, 250}, {5, 301}}), 1800, qtag).approved);
    // A rule for 0 minutes fails on one reading, and on none passes with value 0.
    const Profile peak = Parsed("pico: temperature > 40 for 0min cumulative\n");
    EXPECT_FALSE(Rule(Summary(Pieces({{5, 250}, {1, 401}}), 600, peak), "pico").passed);
    EXPECT_EQ(Rule(Summary(Pieces({{5, 400}}), 600, peak), "pico").value, 0);

    // As floats 0.3 C is a little above 0.3 and 0.7 C a little below 0.7.
    const Profile profile = Parsed(
        "frio: temperature <= 0.3 for 0min single\nmorno: temperature >= 0.7 for 0min single\n");
    const RecordingSummary s = Summary({3, 7}, 60, profile);
    EXPECT_EQ(Rule(s, "frio").value, 60);
    EXPECT_EQ(Rule(s, "morno").value, 60);
}

TEST(RecordingSummaryTest, TimeOutsideTheCardsLimitsWithoutTheAlarmDelay) {
    // Low limit 2.0 (a reading at it is inside), high 8.0 (a reading at it is above).
    const std::vector<int> tenths{50, 19, 19, 50, 10, 10, 10, 50, 80, 85, 50, 79, 80, 20, 19, 85};
    const RecordingSummary s = Summary(tenths, 60, *BuiltInProfile("cartao"), 3600);
    EXPECT_EQ(s.below.longest_s, 3 * 60);
    EXPECT_EQ(s.above.episodes, 3);  // 19 then 85: one side's episode ends, the other's begins
    EXPECT_EQ(s.above.total_s, 4 * 60);
    EXPECT_TRUE(s.approved);  // the card's own alarm (an hour's delay) never went off
}

TEST(RecordingSummaryTest, HighestMktOfAnyDayWhereverTheWarmDayLies) {
    const Profile profile = *BuiltInProfile("cartao");
    // Three days hourly at 2.0 C, 24 hours at 10.0 C at the start, middle, end, across a day.
    for (const int at : {0, 24, 48, 10}) {
        std::vector<int> tenths(72, 20);
        std::fill_n(tenths.begin() + at, 24, 100);
        const RecordingSummary s = Summary(tenths, 3600, profile);
        EXPECT_NEAR(*s.mkt_24h_max, 10.0, 1e-9) << at;
        EXPECT_EQ(s.mkt_30d_max, s.mkt) << "three days are shorter than 30";
    }
    // Twelve warm hours: the worst day holds them and twelve cold ones.
    std::vector<int> tenths(72, 20);
    std::fill_n(tenths.begin() + 30, 12, 100);
    const RecordingSummary s = Summary(tenths, 3600, profile);
    EXPECT_NEAR(*s.mkt_24h_max, 6.930626123351544, 1e-9);
    // At two-hour intervals a day is 12 readings: twelve warm ones are a whole day.
    EXPECT_NEAR(*Summary(tenths, 7200, profile).mkt_24h_max, 10.0, 1e-9);
    // Thirty days at 5 min: 8640 readings, one warm day among them.
    std::vector<int> month(8640 + 288, 20);
    std::fill_n(month.end() - 288, 288, 100);
    const RecordingSummary monthly = Summary(month, 300, profile);
    EXPECT_NEAR(*monthly.mkt_24h_max, 10.0, 1e-9);
    EXPECT_NEAR(*monthly.mkt_30d_max, 2.439991451349215, 1e-9);  // 29 days at 2.0, one at 10.0
    EXPECT_NEAR(*monthly.mkt, 2.4261681740148333, 1e-9);
}

TEST(RecordingSummaryTest, ARecordingShorterThanTheWindowIsItsOwnWorstWindow) {
    const std::vector<int> tenths{20, 35, 80, 120, -10, 40, 40, 65, 99, 0};
    const RecordingSummary s = Summary(tenths, 3600, *BuiltInProfile("cartao"));
    EXPECT_NEAR(*s.mkt, 5.870169854680455, 1e-9);
    EXPECT_EQ(s.mkt_30d_max, s.mkt);
    const RecordingSummary empty = Summary({}, 300, *BuiltInProfile("usp-crt"));
    EXPECT_FALSE(empty.mkt_24h_max);
    EXPECT_FALSE(Rule(empty, "mkt").value);
    EXPECT_TRUE(empty.approved);
}

TEST(RecordingSummaryTest, DeltaHOfTheProfileChangesEveryMkt) {
    const std::vector<int> tenths = Pieces({{6, 0}, {6, 100}});
    EXPECT_NEAR(*Summary(tenths, 3600, Parsed("m: mkt <= 6.2\n")).mkt, 6.4326696381548345, 1e-9);
    const RecordingSummary lower =
        Summary(tenths, 3600, Parsed("delta_h: 60\nm: mkt <= 6.2\nd: mkt window 1h <= 9.9\n"));
    EXPECT_NEAR(*lower.mkt_24h_max, 6.040629920648314, 1e-9);
    EXPECT_NEAR(*Rule(lower, "m").value, 6.040629920648314, 1e-9);
    EXPECT_NEAR(*Rule(lower, "d").value, 10.0, 1e-9);  // a one-hour window is one reading
}

TEST(RecordingSummaryTest, EachBuiltInProfileOnAPassingAndAFailingRecording) {
    const struct {
        const char* profile;
        std::vector<int> tenths;
        int interval_s;
        std::vector<std::string> failed;
    } cases[] = {
        {"oms-30dtr", Pieces({{100, 50}, {12, -5}, {120, 80}}), 300, {"congelamento", "calor"}},
        {"oms-qtag-1", Pieces({{1, 450}, {9, 300}, {1, 20}}), 3600, {"calor-extremo", "calor"}},
        {"usp-crt", Pieces({{200, 200}, {22, 301}, {1, 400}}), 3600, {}},
        {"usp-crt", Pieces({{30, 260}}), 3600, {"mkt"}},
    };
    for (const auto& c : cases) {
        const RecordingSummary s = Summary(c.tenths, c.interval_s, *BuiltInProfile(c.profile));
        EXPECT_EQ(s.approved, c.failed.empty()) << c.profile;
        for (const RuleOutcome& rule : s.rules) {
            const bool expected_to_fail =
                std::find(c.failed.begin(), c.failed.end(), rule.rule.name) != c.failed.end();
            EXPECT_EQ(rule.passed, !expected_to_fail) << c.profile << " " << rule.rule.name;
        }
    }
}

TEST(RecordingSummaryTest, NumbersAreWrittenWithoutNegativeZero) {
    EXPECT_EQ(DecimalText(-0.001, 2), "0.00");
    const std::string huge = DecimalText(-1e308, 1);  // a limit a profile may give
    EXPECT_EQ(huge.size(), 1u + 309 + 2);
    EXPECT_TRUE(huge.starts_with("-1000000000000000") && huge.ends_with(".0")) << huge;
}

}  // namespace
