// The web view's JSON API as a program meets it.

#include <gtest/gtest.h>

#include "support/run_command.h"
#include "web_fixture.h"

namespace {

class WebApiTest : public ::testing::Test {
  protected:
    TempWorkingDir dir;
    WebFixture web;
};

// What Python's json module reads in `body`: "versao status has-erro", or "ERRO".
std::string PythonReads(const std::string& body) {
    const ShellResult r = RunShell(
        "printf %s " + ShellQuote(body) +
        " | python3 -c 'import json,sys; d=json.load(sys.stdin); "
        "print(d[\"versao\"], d.get(\"status\"), \"erro\" in d)' 2>/dev/null || echo ERRO");
    return r.output;
}

TEST_F(WebApiTest, VersionedPathsAnswerAsTheirAliasesAndThePagesLinkThem) {
    ASSERT_TRUE(web.listening) << web.listen_error;
    const long long id = web.Store(TestHeader(321, "Camara"), std::vector<int>(12, 50));
    for (const std::string& path :
         std::vector<std::string>{"/cards", "/cards/321", "/uploads/" + std::to_string(id)}) {
        auto now = web.Get("/api/v1" + path);
        auto alias = web.Get("/api" + path);
        ASSERT_TRUE(now && alias) << path;
        EXPECT_EQ(now->status, 200) << path;
        EXPECT_EQ(now->body, alias->body) << path;
        EXPECT_TRUE(now->body.starts_with("{\"versao\":1,")) << now->body.substr(0, 80);
    }
    EXPECT_TRUE(Has(web.Body("/"), "<a href=\"/api/v1/cards\">"));
}

// Unknown ids 404, bad page numbers 400, as JSON; a page past the last is the last.
TEST_F(WebApiTest, RefusalsAreJsonThatPythonReadsAndAPagePastTheLastIsTheLast) {
    ASSERT_TRUE(web.listening) << web.listen_error;
    const long long id = web.Store(TestHeader(321, "C\xE2mara \"fria\""), std::vector<int>(3, 50));
    for (const auto& [path, status] :
         std::vector<std::pair<std::string, int>>{{"/api/uploads/99", 404},
                                                  {"/api/v1/cards/4", 404},
                                                  {"/api/v2/cards", 404},
                                                  {"/api/cards/321?pagina=x", 400},
                                                  {"/api/cards/321?pagina=0", 400},
                                                  {"/api/cards/321?pagina=12345678901", 400},
                                                  {"/api/cards/321?pagina=2%00", 400}}) {
        auto r = web.Get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, status) << path << "\n" << r->body;
        EXPECT_TRUE(r->body.starts_with("{\"versao\":1,\"status\":" + std::to_string(status) +
                                        ",\"erro\":\""))
            << path << " " << r->body;
    }
    EXPECT_TRUE(Has(web.Body("/api/v1/cards?pagina=7"), "\"pagina\":1,\"paginas\":1,"));
    if (RunShell("command -v python3").status != 0) {
        GTEST_SKIP() << "python3 is not installed";
    }
    const auto read = [&](const std::string& path) {
        auto r = web.Get(path);
        return r ? PythonReads(r->body) : std::string("no answer");
    };
    EXPECT_EQ(read("/api/v1/uploads/" + std::to_string(id)), "1 None False\n");
    EXPECT_EQ(read("/api/v1/uploads/77"), "1 404 True\n");
    EXPECT_EQ(read("/api/v1/cards?pagina=x"), "1 400 True\n");
}

}  // namespace
