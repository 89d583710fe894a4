// The chain over stored uploads, on SQLite and on PostgreSQL (where two stores share one).

#include <gtest/gtest.h>

#include "support/run_command.h"
#include "web_fixture.h"

namespace {

// Runs `sql` with the database's own command-line client, as someone with access would.
void Tamper(const std::string& db, const std::string& sql) {
    const std::string client = TestingOnPostgres() ? "psql -X -q -v ON_ERROR_STOP=1 -c "
                                                   : "sqlite3 " + ShellQuote(db) + " ";
    const ShellResult result = RunShell(client + ShellQuote(sql));
    ASSERT_EQ(result.status, 0) << sql << "\n" << result.output;
}

ShellResult Verify(const std::string& db) {
    return RunShell(std::string(RAZUROZAVI_SERVER) + " --verify --db " + ShellQuote(db));
}

// The first reading of upload `id` set to the little-endian bytes `hex`.
std::string SetFirstReading(long long id, const std::string& hex) {
    const std::string where = " WHERE upload_id = " + std::to_string(id);
    return TestingOnPostgres() ? "UPDATE upload_tenths SET tenths = overlay(tenths placing '\\x" +
                                     hex + "'::bytea from 1 for 2)" + where
                               : "UPDATE upload_tenths SET tenths = CAST(X'" + hex +
                                     "' || substr(tenths, 3) AS BLOB)" + where;
}

class UploadChain : public ::testing::Test {
  protected:
    TempWorkingDir dir;
    std::string db = FreshTestDatabase("chain.sqlite");
    std::string error;
    std::unique_ptr<UploadStore> store = UploadStore::Open(db, &error);
};

}  // namespace

TEST_F(UploadChain, AnIntactStoreVerifiesAndEachKindOfChangeNamesItsUpload) {
    for (long serial = 1001; serial <= 1004; ++serial) {
        ASSERT_TRUE(store->Store("127.0.0.1", TestHeader(serial, "C\xE2mara"),
                                 {static_cast<int>(serial % 100), 30, -12}));
    }
    // A resend is the same recording, stored once: the chain does not move.
    ASSERT_TRUE(store->Store("127.0.0.1", TestHeader(1002, "C\xE2mara"), {2, 30, -12}));
    const std::vector<StoredUpload> uploads = store->List();
    ASSERT_EQ(uploads.size(), 4u);
    EXPECT_EQ(uploads[1].chain, NextChainLink(uploads[0].chain, uploads[1].sha256));

    ShellResult verified = Verify(db);
    EXPECT_EQ(verified.status, 0) << verified.output;
    EXPECT_EQ(verified.output, "4 uploads verified, the chain holds\n");

    const auto line = [&](int k, const std::string& what) {
        return "upload " + std::to_string(uploads[k].id) + " serial " +
               std::to_string(uploads[k].serial) + ": " + what + "\n";
    };
    Tamper(db, SetFirstReading(uploads[2].id, "6400"));  // 3 becomes 100
    verified = Verify(db);
    EXPECT_EQ(verified.status, 1) << verified.output;
    EXPECT_EQ(verified.output,
              line(2, "readings or fields changed") + "4 uploads checked, 1 fault\n");

    // An upload removed, and the changed one's digest made anew: both break the chain.
    Tamper(db, "DELETE FROM upload_tenths WHERE upload_id = " + std::to_string(uploads[0].id));
    Tamper(db, "DELETE FROM uploads WHERE id = " + std::to_string(uploads[0].id));
    Tamper(db, "UPDATE uploads SET sha256 = '" + UploadSha256(uploads[2], {100, 30, -12}) +
                   "' WHERE id = " + std::to_string(uploads[2].id));
    verified = Verify(db);
    EXPECT_EQ(verified.status, 1);
    EXPECT_EQ(verified.output,
              line(1, "chain broken") + line(2, "chain broken") + "3 uploads checked, 2 faults\n");
}

TEST_F(UploadChain, AStoreFromBeforeTheChainIsChainedInPlaceAndGoesOn) {
    const std::vector<int> readings = {50, 51, 52};
    for (long serial = 1; serial <= 3; ++serial) {
        ASSERT_TRUE(store->Store("10.0.0.9", TestHeader(serial, "Sala \xC9"), readings));
    }
    const std::vector<StoredUpload> before = store->List();
    store.reset();
    // Back to the schema before the chain, the logins and the alerts.
    if (TestingOnPostgres()) {
        ASSERT_TRUE(QueryOnTestPostgres(
            "ALTER TABLE uploads DROP COLUMN sha256, DROP COLUMN chain; DROP TABLE web_logins; "
            "DROP TABLE alerts, alert_state; DELETE FROM razurozavi_schema WHERE version > 2"));
    } else {
        Tamper(db,
               "ALTER TABLE uploads DROP COLUMN sha256; ALTER TABLE uploads DROP COLUMN chain; "
               "DROP TABLE web_logins; DROP TABLE IF EXISTS alerts; DROP TABLE IF EXISTS "
               "alert_state");
    }
    store = UploadStore::Open(db, &error);
    ASSERT_TRUE(store) << error;
    const std::vector<StoredUpload> after = store->List();
    ASSERT_EQ(after.size(), 3u);
    // The digests made from the stored rows are those made from the cards' headers.
    EXPECT_EQ(after[2].chain, before[2].chain);
    ASSERT_TRUE(store->Store("10.0.0.9", TestHeader(4, "Sala"), readings));
    EXPECT_EQ(store->List().back().chain,
              NextChainLink(after[2].chain, store->List().back().sha256));
    if (!TestingOnPostgres()) {
        // An upload written by a server from before the chain joins it at the next open.
        store.reset();
        Tamper(db,
               "CREATE TEMP TABLE t AS SELECT * FROM uploads WHERE id = 1; UPDATE t SET id = 5, "
               "serial = 5, sha256 = NULL, chain = NULL; INSERT INTO uploads SELECT * FROM t; "
               "INSERT INTO upload_tenths SELECT 5, tenths FROM upload_tenths WHERE upload_id = 1");
    }
    const ShellResult verified = Verify(db);
    EXPECT_EQ(verified.status, 0) << verified.output;
    EXPECT_EQ(verified.output, TestingOnPostgres() ? "4 uploads verified, the chain holds\n"
                                                   : "5 uploads verified, the chain holds\n");
    // The logins' and the alerts' tables are back too.
    EXPECT_TRUE(WebStore::Open(db, &error)->RecordLogin({"2026-01-02 03:04:05", "a", "b", true}));
    EXPECT_TRUE(AlertStore::Open(db, &error)
                    ->Record({{"full all@1", 1, 1, "full all", "a"}}, {"mail"}, 0, &error))
        << error;
}

// The web view's side: an upload's page and JSON carry its digest and whether it holds.
TEST(WebIntegrityTest, ThePageAndTheJsonShowTheDigestAndWhetherItStillHolds) {
    TempWorkingDir dir;
    WebFixture web;
    ASSERT_TRUE(web.listening) << web.listen_error;
    const long long id = web.Store(TestHeader(78, "Vacinas"), {40, 50, 60});
    const std::string sha256 = web.upload_store->List().back().sha256;
    ASSERT_EQ(sha256.size(), 64u);
    const std::string page = "/uploads/" + std::to_string(id);

    const std::string html = web.Body(page);
    EXPECT_TRUE(Has(html, "<span class=\"selo dentro\">Verificado</span>")) << html;
    EXPECT_TRUE(Has(html, "SHA-256: <code class=\"hash\">" + sha256 + "</code>"));
    Tamper("uploads.sqlite", SetFirstReading(id, "0100"));
    EXPECT_TRUE(Has(web.Body(page), "<span class=\"selo fora\">Alterado</span>"));
    EXPECT_TRUE(
        Has(web.Body("/api/v1" + page), ",\"sha256\":\"" + sha256 + "\",\"verified\":false,"));
}
