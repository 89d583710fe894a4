// The web view's side of integrity: an upload's page and JSON carry its digest and
// whether it still holds; the logins are recorded and listed at /auditoria, behind the
// password like every page.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/temp_dir.h"
#include "web_fixture.h"

namespace {

// Upload `id`'s first reading set to 1 tenth.
void ChangeFirstReading(long long id) {
    const std::string where = " WHERE upload_id = " + std::to_string(id);
    const std::string sql =
        TestingOnPostgres()
            ? "UPDATE upload_tenths SET tenths = overlay(tenths placing '\\x0100'::bytea from 1 "
              "for 2)" +
                  where
            : "UPDATE upload_tenths SET tenths = CAST(X'0100' || substr(tenths, 3) AS BLOB)" +
                  where;
    const std::string client =
        TestingOnPostgres() ? "psql -X -q -v ON_ERROR_STOP=1 -c " : "sqlite3 uploads.sqlite ";
    const ShellResult result = RunShell(client + ShellQuote(sql));
    ASSERT_EQ(result.status, 0) << result.output;
}

class WebIntegrityTest : public ::testing::Test {
  protected:
    TempWorkingDir dir;
    WebFixture web;
};

class WebAuditTest : public ::testing::Test {
  protected:
    static WebOptions WithPassword() {
        WriteFileBytes("senhas", "qualidade:" + CryptHash("correta") + "\n");
        WebOptions options;
        options.password_file = "senhas";
        return options;
    }
    TempWorkingDir dir;
    WebFixture web{WithPassword()};
};

}  // namespace

TEST_F(WebIntegrityTest, ThePageAndTheJsonShowTheDigestAndWhetherItStillHolds) {
    ASSERT_TRUE(web.listening) << web.listen_error;
    web.Store(TestHeader(77, "Antes"), {10, 20, 30});
    const long long id = web.Store(TestHeader(78, "Vacinas"), {40, 50, 60});
    const std::string sha256 = web.upload_store->List().back().sha256;
    ASSERT_EQ(sha256.size(), 64u);
    const std::string page = "/uploads/" + std::to_string(id);

    auto html = web.Get(page);
    auto json = web.Get("/api/v1" + page);
    ASSERT_TRUE(html && json);
    EXPECT_TRUE(Has(html->body, "<span class=\"selo dentro\">Verificado</span>")) << html->body;
    EXPECT_TRUE(Has(html->body, "SHA-256: <code class=\"hash\">" + sha256 + "</code>"));
    EXPECT_TRUE(Has(json->body, ",\"sha256\":\"" + sha256 + "\",\"verified\":true,")) << json->body;

    ChangeFirstReading(id);
    html = web.Get(page);
    json = web.Get("/api/v1" + page);
    ASSERT_TRUE(html && json);
    EXPECT_TRUE(Has(html->body, "<span class=\"selo fora\">Alterado</span>"));
    EXPECT_FALSE(Has(html->body, "Verificado"));
    EXPECT_TRUE(Has(json->body, ",\"sha256\":\"" + sha256 + "\",\"verified\":false,"));
    // The upload before it is untouched.
    json = web.Get("/api/v1/uploads/" + std::to_string(id - 1));
    ASSERT_TRUE(json);
    EXPECT_TRUE(Has(json->body, "\"verified\":true"));
}

TEST_F(WebAuditTest, LoginsAreListedNewestFirstToALoggedInUserOnly) {
    ASSERT_TRUE(web.listening) << web.listen_error;
    httplib::Client none = web.Client();
    auto refused = none.Get("/auditoria");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 401);
    EXPECT_FALSE(Has(refused->body, "qualidade"));

    httplib::Client wrong = web.Client();
    wrong.set_basic_auth("intruso<b>", "chute");
    ASSERT_TRUE(wrong.Get("/"));
    httplib::Client right = web.Client();
    right.set_basic_auth("qualidade", "correta");
    // The browser sends the same password with every request: one login.
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(right.Get("/"));
    }
    auto audit = right.Get("/auditoria");
    ASSERT_TRUE(audit);
    EXPECT_EQ(audit->status, 200);
    const std::string& body = audit->body;
    EXPECT_TRUE(Has(body, "<a href=\"/auditoria\">Auditoria</a>"));
    EXPECT_TRUE(Has(body, "2 entradas com senha registradas")) << body;
    const std::size_t good = body.find(
        "<td>qualidade</td><td>127.0.0.1</td><td><span "
        "class=\"selo dentro\">aceita</span>");
    const std::size_t bad = body.find(
        "<td>intruso&lt;b&gt;</td><td>127.0.0.1</td><td><span "
        "class=\"selo fora\">recusada</span>");
    ASSERT_NE(good, std::string::npos) << body;
    ASSERT_NE(bad, std::string::npos) << body;
    EXPECT_LT(good, bad);
    const std::vector<WebLogin> logins = web.web_store->Logins(0, 10);
    ASSERT_EQ(logins.size(), 2u);
    EXPECT_EQ(logins[0].time.size(), 19u);
    EXPECT_EQ(logins[0].time[4], '-');
}
