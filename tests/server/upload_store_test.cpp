// The upload store: the first schema migrated, quick card lists, and batches.

#include "upload_store.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/temp_dir.h"
#include "test_database.h"
#include "web_pages.h"
#include "web_store.h"

namespace {

// The schema the server wrote before the readings were kept one blob an upload.
const char* const kFirstSchema =
    "CREATE TABLE uploads (id INTEGER PRIMARY KEY, received TEXT NOT NULL, peer TEXT NOT NULL,"
    " serial INTEGER NOT NULL, description TEXT NOT NULL, low_alarm_x10 INTEGER NOT NULL,"
    " high_alarm_x10 INTEGER NOT NULL, start_delay INTEGER NOT NULL,"
    " alarm_delay INTEGER NOT NULL, sample_points INTEGER NOT NULL,"
    " sample_rate INTEGER NOT NULL, stamp_hour INTEGER NOT NULL,"
    " stamp_minute INTEGER NOT NULL, stamp_second INTEGER NOT NULL,"
    " stamp_day INTEGER NOT NULL, stamp_month INTEGER NOT NULL, stamp_year INTEGER NOT NULL,"
    " firmware TEXT NOT NULL, software TEXT NOT NULL, temp_unit INTEGER NOT NULL);"
    "CREATE TABLE readings (upload_id INTEGER NOT NULL REFERENCES uploads(id),"
    " idx INTEGER NOT NULL, tenths INTEGER NOT NULL, PRIMARY KEY (upload_id, idx));"
    "CREATE INDEX uploads_by_serial ON uploads (serial, id);";

// Upload k of card 1000 + k % cards, reading i being (k * 7 + i) % 3000 - 1000 tenths.
void WriteFirstSchema(const std::string& path, int uploads, int cards, int readings) {
    const auto n = [](int count) { return std::to_string(count); };
    const std::string fill =
        std::string(kFirstSchema) + "BEGIN; WITH RECURSIVE u(k) AS (SELECT 1 UNION ALL SELECT " +
        "k + 1 FROM u WHERE k < " + n(uploads) + ") INSERT INTO uploads SELECT k, '2024-06-10 " +
        "12:00:00', '127.0.0.1', 1000 + k % " + n(cards) + ", 'Sala', 20, 80, 0, 600, 2000, " +
        "300, 12, 0, 0, 10, 6, 24, '1.0.3', '1.0.4', 0 FROM u; WITH RECURSIVE i(k) AS (SELECT " +
        "0 UNION ALL SELECT k + 1 FROM i WHERE k < " + n(readings - 1) + ") INSERT INTO " +
        "readings SELECT id, k, (id * 7 + k) % 3000 - 1000 FROM uploads, i; COMMIT";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

std::vector<int> ExpectedTenths(int k, int readings) {
    std::vector<int> tenths;
    for (int i = 0; i < readings; ++i) {
        tenths.push_back((k * 7 + i) % 3000 - 1000);
    }
    return tenths;
}

}  // namespace

TEST(UploadStore, ADatabaseOfTheFirstSchemaIsMigratedInPlace) {
    TempWorkingDir dir;
    WriteFirstSchema("old.sqlite", 30, 4, 500);
    sqlite3* bare = nullptr;
    ASSERT_EQ(sqlite3_open("old.sqlite", &bare), SQLITE_OK);
    // And one upload without readings.
    sqlite3_exec(bare,
                 "CREATE TEMP TABLE t AS SELECT * FROM uploads WHERE id = 1; UPDATE t SET id = 31, "
                 "serial = 1003; INSERT INTO uploads SELECT * FROM t",
                 nullptr, nullptr, nullptr);
    sqlite3_close(bare);
    std::string error;
    // Twice: the second open finds the database already migrated.
    for (int open = 0; open < 2; ++open) {
        const std::unique_ptr<UploadStore> store = UploadStore::Open("old.sqlite", &error);
        ASSERT_TRUE(store) << error;
        const std::vector<StoredUpload> uploads = store->List();
        ASSERT_EQ(uploads.size(), 31u);
        for (int k = 1; k <= 30; ++k) {
            EXPECT_EQ(store->Readings(k), ExpectedTenths(k, 500)) << k;
        }
        EXPECT_EQ(uploads[30].readings, 0);
        EXPECT_EQ(UploadLine(uploads[0]),
                  "1 received=2024-06-10 12:00:00 peer=127.0.0.1 serial=1001 descricao=\"Sala\" "
                  "readings=500 sample_points=2000 sample_rate=300 low=2.0 high=8.0 start_delay=0 "
                  "alarm_delay=600 end=\"10.06.24 12:00:00\" unit=C firmware=1.0.3 software=1.0.4");
    }
    const std::unique_ptr<WebStore> web = WebStore::Open("old.sqlite", &error);
    ASSERT_TRUE(web) << error;
    EXPECT_EQ(web->CardCount(), 4);
    const std::optional<CardRow> card = web->Card(1003);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->uploads, 8);  // uploads 3, 7, ..., 27 and 31
    EXPECT_EQ(card->last.id, 31);
    EXPECT_EQ(web->Cards(0, 10).front().serial, 1003);  // the newest upload's card first
}

TEST(UploadStorePaced, TenThousandCardsAreListedWithinFiftyMilliseconds) {
    TempWorkingDir dir;
    WriteFirstSchema("many.sqlite", 10000, 10000, 150);
    std::string error;
    ASSERT_TRUE(UploadStore::Open("many.sqlite", &error)) << error;  // migrates
    const std::unique_ptr<WebStore> web = WebStore::Open("many.sqlite", &error);
    ASSERT_TRUE(web) << error;
    WebView view(*web);
    // The first and the last page, once their summaries are in memory.
    for (const std::string path : {"/", "/api/cards"}) {
        const auto page = [&](long long n) {
            return path == "/" ? view.Home(n) : view.ApiCards(n);
        };
        page(1);
        page(1000000);
        double slowest = 0;
        for (int k = 0; k < 6; ++k) {
            const auto begin = std::chrono::steady_clock::now();
            EXPECT_EQ(page(k % 2 == 0 ? 1 : 1000000).status, 200);
            slowest = std::max(slowest, std::chrono::duration<double, std::milli>(
                                            std::chrono::steady_clock::now() - begin)
                                            .count());
        }
        std::printf("%s with 10,000 cards: slowest of 6 in %.1f ms\n", path.c_str(), slowest);
        EXPECT_LT(slowest, 50.0) << path;
    }
}

// Readings keep their sign and range; an out-of-range one refuses its upload alone.
TEST(UploadStore, ABatchStoresEachUploadOnItsOwnMeritAndASecondCopyOnce) {
    TempWorkingDir dir;
    std::string error;
    const std::unique_ptr<UploadStore> store =
        UploadStore::Open(FreshTestDatabase("batch.sqlite"), &error);
    ASSERT_TRUE(store) << error;
    UploadHeader a;
    a.serial = 1;
    UploadHeader b;
    b.serial = 2;
    const std::vector<int> signed_tenths = {0, -1, 1, -32768, 32767, -400, 1250, 255, 256, -256};
    const std::vector<StoreOutcome> outcomes = store->StoreAll({{"127.0.0.1", a, signed_tenths},
                                                                {"127.0.0.1", b, {1, 40000}},
                                                                {"127.0.0.1", a, signed_tenths},
                                                                {"127.0.0.1", b, {4, 5}},
                                                                {"127.0.0.1", a, {4, 5}}});
    ASSERT_EQ(outcomes.size(), 5u);
    EXPECT_EQ(outcomes[1].why, "a reading out of the card's range");
    // A second copy is "cc" but stored once; other readings are another recording.
    for (const std::size_t k : {0, 2, 3, 4}) {
        EXPECT_TRUE(outcomes[k].stored) << k;
    }
    const std::vector<StoredUpload> uploads = store->List();
    ASSERT_EQ(uploads.size(), 3u);
    EXPECT_EQ(store->Readings(uploads[0].id), signed_tenths);
    EXPECT_EQ(store->Readings(uploads[2].id), (std::vector<int>{4, 5}));
}

// A keyword/value connection string must not become a SQLite file of that name.
TEST(UploadStoreKind, LibpqConnectionStringsInEitherFormAreTakenForPostgresql) {
    for (const char* db : {"postgres://db1/uploads", "host=db1 dbname=uploads"}) {
        EXPECT_TRUE(IsPostgresDatabase(db)) << db;
    }
    for (const char* db : {"/var/lib/razurozavi/uploads.sqlite", "dados=2026.sqlite"}) {
        EXPECT_FALSE(IsPostgresDatabase(db)) << db;
    }
}
