// The alert store, on SQLite or (under pg_virtualenv) on PostgreSQL alike.

#include "alert_store.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "test_database.h"
#include "web_fixture.h"

namespace {

class AlertStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        const std::string db = FreshTestDatabase("uploads.sqlite");
        uploads = UploadStore::Open(db, &error);
        ASSERT_TRUE(uploads) << error;
        alerts = AlertStore::Open(db, &error);
        ASSERT_TRUE(alerts) << error;
    }
    long long Store(long serial, const std::vector<int>& tenths, unsigned char minute) {
        uploads->Store("127.0.0.1", TestHeader(serial, "x", 300, {0, minute, 12, 10, 6, 24}),
                       tenths);
        return uploads->List().back().id;
    }

    TempWorkingDir dir;
    std::unique_ptr<UploadStore> uploads;
    std::unique_ptr<AlertStore> alerts;
};

constexpr std::time_t kNow = 1'800'000'000;

TEST_F(AlertStoreTest, EachEventIsKeptOncePerChannelAndHandedOutOnceAtATime) {
    const AlertEvent event{"limits all@5", 123, 5, "limits all", "Cartão 123 saiu dos limites"};
    const std::vector<std::string> both = {"mail", "webhook"};
    std::string why;
    ASSERT_TRUE(alerts->Record({event}, both, kNow, &why)) << why;
    ASSERT_TRUE(alerts->Record({event}, both, kNow + 50, &why)) << why;
    EXPECT_EQ(alerts->AlertCount(), 2);

    const std::vector<StoredAlert> claimed = alerts->Claim(kNow, 600, 10, both);
    ASSERT_EQ(claimed.size(), 2U);
    EXPECT_EQ(claimed[0].channel, "mail");
    EXPECT_EQ(claimed[0].created, kNow);
    // Taken: nobody else gets them until the lease is over.
    EXPECT_TRUE(alerts->Claim(kNow + 599, 600, 10, both).empty());

    alerts->MarkSent(claimed[0].id, kNow + 1);
    alerts->MarkFailed(claimed[1].id, "connection refused", kNow + 2, kNow + 700);
    EXPECT_TRUE(alerts->Claim(kNow + 699, 600, 10, both).empty());
    // Only the channels the rules name now.
    EXPECT_TRUE(alerts->Claim(kNow + 700, 600, 10, {"mail"}).empty());
    const std::vector<StoredAlert> again = alerts->Claim(kNow + 700, 600, 10, {"webhook"});
    ASSERT_EQ(again.size(), 1U);
    EXPECT_EQ(again[0].channel, "webhook");
    EXPECT_EQ(again[0].attempts, 1);
    EXPECT_EQ(again[0].last_error, "connection refused");
    EXPECT_EQ(alerts->Alerts(0, 10).at(1).sent, kNow + 1);
}

TEST_F(AlertStoreTest, TheCheckReadsNewUploadsAndLastUploadsAndACardsOpenAlertsAreOfItsLast) {
    const long long first = Store(77, {50, 51}, 1);
    const long long second = Store(77, {90, -12, 300}, 2);
    const long long other = Store(88, {50}, 3);
    EXPECT_EQ(alerts->LastUploadId(), other);
    alerts->SetCheckedThrough(first);
    alerts->SetCheckedThrough(first - 1);  // never back
    EXPECT_EQ(alerts->CheckedThrough(), first);

    const std::vector<StoredUpload> after = alerts->UploadsAfter(first, 1);
    ASSERT_EQ(after.size(), 1U);
    EXPECT_EQ(after[0].id, second);
    EXPECT_EQ(after[0].high_alarm_x10, 80);
    EXPECT_EQ(alerts->Readings(second), (std::vector<int>{90, -12, 300}));
    const std::vector<CardLastUpload> cards = alerts->LastUploads();
    ASSERT_EQ(cards.size(), 2U);
    EXPECT_EQ(cards[0].upload_id, second);

    std::string why;
    ASSERT_TRUE(alerts->Record({{"full all@" + std::to_string(first), 77, first, "full all", "a"}},
                               {"mail"}, kNow, &why));
    ASSERT_TRUE(
        alerts->Record({{"limits all@" + std::to_string(second), 77, second, "limits all", "b"}},
                       {"mail"}, kNow, &why));
    const std::vector<StoredAlert> open = alerts->OpenAlerts(77);
    ASSERT_EQ(open.size(), 1U);
    EXPECT_EQ(open[0].message, "b");
    EXPECT_TRUE(alerts->OpenAlerts(88).empty());
}

}  // namespace
