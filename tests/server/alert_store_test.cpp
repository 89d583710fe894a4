// The alert store, on SQLite or (under pg_virtualenv) on PostgreSQL alike.

#include "alert_store.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(again[0].last_error, "connection refused");
    EXPECT_EQ(alerts->Alerts(0, 10).at(1).sent, kNow + 1);
}

}  // namespace
