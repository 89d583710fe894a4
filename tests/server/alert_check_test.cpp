#include "alert_check.h"

#include <gtest/gtest.h>

#include "base/card_layout.h"
#include "web_fixture.h"

namespace {

// Limits 2.0 and 8.0 C, a reading every 5 minutes, the alarm after 10 minutes.
StoredUpload Upload(long serial, long long id, int sample_points = 2000) {
    StoredUpload u = StoredFields(TestHeader(serial, ""));
    u.id = id;
    u.received = "2026-12-01 10:00:00";
    u.sample_points = sample_points;
    return u;
}

// `inside` readings at 5.0 C, then `warm` at 9.0 C, then `inside` at 5.0 C again.
std::vector<int> Tenths(int inside, int warm) {
    std::vector<int> tenths(inside, 50);
    tenths.insert(tenths.end(), warm, 90);
    tenths.insert(tenths.end(), inside, 50);
    return tenths;
}

std::vector<AlertRule> Rules(const std::string& text) {
    const AlertRulesLoad load = ParseAlertRules(text + "webhook https://h/ secret-env=HOME\n", "t");
    EXPECT_TRUE(load.rules) << load.error;
    return load.rules ? load.rules->rules : std::vector<AlertRule>();
}

std::vector<std::string> Keys(const std::vector<AlertEvent>& events) {
    std::vector<std::string> keys;
    for (const AlertEvent& e : events) {
        keys.push_back(e.key);
    }
    return keys;
}

using Keyed = std::vector<std::string>;

TEST(AlertCheck, LimitsRaiseOnAnAlarmEpisodeOrOnTimeOutsideBeyondTheRulesMinutes) {
    const std::vector<AlertRule> rules =
        Rules("limits all\nlimits 7 minutes=30\nlimits 8 minutes=30\n");
    // One warm reading is shorter than the alarm delay: no episode, 5 minutes outside.
    EXPECT_TRUE(UploadAlerts(rules, Upload(7, 2), Tenths(20, 1)).empty());
    // Six: an episode, but only 30 minutes outside, not more.
    EXPECT_EQ(Keys(UploadAlerts(rules, Upload(7, 3), Tenths(20, 6))), Keyed{"limits all@3"});
    // Seven: 35 minutes; the minutes rule of another card stays silent.
    EXPECT_EQ(Keys(UploadAlerts(rules, Upload(7, 4), Tenths(20, 7))),
              (Keyed{"limits all@4", "limits 7 minutes=30@4"}));
}

TEST(AlertCheck, FullRaisesWhenTheConfiguredPointsOrTheWholeMemoryAreRecorded) {
    const std::vector<AlertRule> rules = Rules("full all\n");
    EXPECT_TRUE(UploadAlerts(rules, Upload(7, 1, 41), Tenths(20, 0)).empty());
    const std::vector<AlertEvent> points = UploadAlerts(rules, Upload(7, 2, 40), Tenths(20, 0));
    ASSERT_EQ(Keys(points), Keyed{"full all@2"});
    EXPECT_TRUE(points[0].message.starts_with("Cartão 7 parou de gravar: atingiu os 40 pontos"));
    // More points configured than the memory holds: the memory is what stops the card.
    const std::vector<int> whole(MAX_IMAGE_READINGS, 50);
    const std::vector<AlertEvent> memory =
        UploadAlerts(rules, Upload(7, 3, MAX_IMAGE_READINGS + 100), whole);
    ASSERT_EQ(memory.size(), 1U);
    EXPECT_NE(memory[0].message.find("memória cheia"), std::string::npos);
    const std::vector<int> short_of_it(MAX_IMAGE_READINGS - 1, 50);
    EXPECT_TRUE(UploadAlerts(rules, Upload(7, 4, MAX_IMAGE_READINGS + 100), short_of_it).empty());
}

TEST(AlertCheck, SilenceRaisesOncePastTheRulesHoursKeyedByTheLastUpload) {
    const std::vector<AlertRule> rules = Rules("silence all hours=26\nsilence 9 hours=1\n");
    const std::time_t received = UtcSeconds("2026-12-01 10:00:00");
    const std::vector<CardLastUpload> cards = {
        {7, 17, "2026-12-01 10:00:00"}, {9, 30, "2026-12-02 11:00:00"}, {11, 31, "not a time"}};
    EXPECT_TRUE(SilenceAlerts(rules, cards, received + 26 * 3600).empty());
    EXPECT_EQ(Keys(SilenceAlerts(rules, cards, received + 26 * 3600 + 1)),
              (Keyed{"silence all hours=26@17", "silence 9 hours=1@30"}));
}

}  // namespace
