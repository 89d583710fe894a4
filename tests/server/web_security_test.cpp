// The web view's defences: the password and its logins, HTTPS, and malformed requests.

#include <gtest/gtest.h>

#include "support/run_command.h"
#include "web_fixture.h"

namespace {

class WebPasswordTest : public ::testing::Test {
  protected:
    static WebOptions WithPassword() {
        WriteFileBytes("senhas", "# who may read\nqualidade:" + CryptHash("correta") + "\n");
        WebOptions options;
        options.password_file = "senhas";
        return options;
    }
    TempWorkingDir dir;
    WebFixture web{WithPassword()};
};

TEST_F(WebPasswordTest, FailedLoginsFromOneAddressAreThrottledAndANulEndsNoPassword) {
    ASSERT_TRUE(web.listening) << web.listen_error;
    web.Store(TestHeader(4242, "Segredo"), std::vector<int>(10, 50));
    // No password, or a malformed one: no data.
    EXPECT_EQ(web.Get("/uploads/1.csv")->status, 401);
    EXPECT_FALSE(Has(web.Body("/cards/4242"), "Segredo"));
    EXPECT_TRUE(Has(
        StatusLine(Raw(web.server->Port(),
                       "GET / HTTP/1.1\r\nAuthorization: Basic !!!!\r\nConnection: close\r\n\r\n")),
        " 40"));
    const auto ask = [&](const std::string& credentials, const std::string& from) {
        const std::size_t colon = credentials.find(':');
        const auto [name, value] = httplib::make_basic_authentication_header(
            credentials.substr(0, colon), credentials.substr(colon + 1));
        return StatusLine(Raw(web.server->Port(),
                              "GET /cards/4242 HTTP/1.1\r\nHost: x\r\n" + name + ": " + value +
                                  "\r\nConnection: close\r\n\r\n",
                              from));
    };
    // A wrong password, the right one of another user, then none at all.
    for (int k = 0; k < LOGIN_FAILURES_ALLOWED; ++k) {
        const std::string wrong = k == 0   ? "qualidade:errada"
                                  : k == 1 ? "outro:correta"
                                           : "qualidade:";
        EXPECT_TRUE(Has(ask(wrong, "127.0.0.20"), " 401")) << wrong;
    }
    // From then on that address is refused, its right password too; others are not.
    EXPECT_TRUE(Has(ask("qualidade:correta", "127.0.0.20"), " 429"));
    EXPECT_TRUE(Has(ask("qualidade:correta", "127.0.0.21"), " 200"));
    // crypt(3) would stop at the NUL and find the right password before it.
    EXPECT_TRUE(Has(ask(std::string("qualidade:correta\0sobra", 23), "127.0.0.22"), " 401"));
    EXPECT_TRUE(Has(ask(std::string("qualidade\0x:correta", 20), "127.0.0.22"), " 401"));
}

TEST_F(WebPasswordTest, LoginsAreListedAtAuditoriaNewestFirstToALoggedInUserOnly) {
    ASSERT_TRUE(web.listening) << web.listen_error;
    httplib::Client wrong = web.Client();
    wrong.set_basic_auth("intruso<b>", "chute");
    ASSERT_TRUE(wrong.Get("/"));
    httplib::Client right = web.Client();
    right.set_basic_auth("qualidade", "correta");
    // The browser sends the same password with every request: one login.
    ASSERT_TRUE(right.Get("/") && right.Get("/"));
    const httplib::Result audit = right.Get("/auditoria");
    const std::string body = audit ? audit->body : "";
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
    EXPECT_EQ(web.Get("/auditoria")->status, 401);
}

// A plain password, no user or a damaged hash is refused, naming the line; SHA-512 is taken.
TEST(WebSecurity, PasswordFileMustHoldHashes) {
    TempWorkingDir dir;
    const std::string whole = CryptHash("correta");
    const std::string sha512 =
        "$6$saltsalt$qFmFH.bQmmtXzyBY0s9v7Oicd2z4XSIecDzlB5KiA2/jctKu9YterLp8wwnSq.qc."
        "eoxqOmSuNp2xS0ktL3nh/";
    for (const auto& [text, refusal] : std::vector<std::pair<std::string, std::string>>{
             {"qualidade:correta\n", "crypt(3) hash"},
             {"qualidade:$correta$123456789\n", "line 1"},
             {"# nobody\n", "names no user"},
             {"a:" + whole + "\nb:" + whole.substr(0, whole.size() - 1) + "\n", "senhas line 2"},
             {"a:" + whole + "\nb:" + whole.substr(0, whole.rfind('$') + 1) + "\n",
              "senhas line 2"},
             {"a:" + sha512 + "\nb:" + whole + "\n", ""}}) {
        WriteFileBytes("senhas", text);
        WebAuth auth;
        std::string error;
        EXPECT_EQ(auth.Load("senhas", &error), refusal.empty()) << text;
        EXPECT_TRUE(Has(error, refusal)) << text << error;
    }
}

// HTTPS only, with forward secrecy and AEAD; a key not the certificate's is refused.
TEST(WebSecurity, ServesHttpsWithOnlyForwardSecrecyAndAeadAndAsksToStayOnIt) {
    TempWorkingDir dir;
    const std::optional<WebOptions> options = TlsOptions();
    if (!options) {
        GTEST_SKIP() << "the openssl command is not installed";
    }
    WebFixture web(*options);
    ASSERT_TRUE(web.listening) << web.listen_error;
    web.Store(TestHeader(31, "Cifrado"), std::vector<int>(5, 50));
    httplib::SSLClient tls("127.0.0.1", web.server->Port());
    tls.enable_server_certificate_verification(false);
    auto r = tls.Get("/cards/31");
    ASSERT_TRUE(r) << httplib::to_string(r.error());
    EXPECT_TRUE(Has(r->body, "Cifrado"));
    EXPECT_TRUE(Has(r->get_header_value("Strict-Transport-Security"), "max-age="));
    EXPECT_FALSE(Has(Raw(web.server->Port(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n"), "Cifrado"));
    const std::string connect = "echo | timeout 10 openssl s_client -connect 127.0.0.1:" +
                                std::to_string(web.server->Port()) + " ";
    for (const auto& [offer, agreed] :
         {std::pair("-tls1_3", true),
          std::pair("-tls1_2 -cipher ECDHE-RSA-AES128-GCM-SHA256", true),
          std::pair("-tls1_2 -cipher ECDHE-RSA-AES128-SHA", false),
          std::pair("-tls1_2 -cipher AES256-GCM-SHA384", false), std::pair("-tls1_1", false)}) {
        const ShellResult hello = RunShell(connect + offer + " 2>&1");
        EXPECT_EQ(!Has(hello.output, "Cipher is (NONE)") && Has(hello.output, "Cipher is "), agreed)
            << offer << "\n"
            << hello.output.substr(0, 600);
    }
    ASSERT_EQ(RunShell("openssl genrsa -out other.pem 2048 2>&1").status, 0);
    WebOptions wrong = *options;
    wrong.tls_key = "other.pem";
    WebFixture mismatched(wrong);
    EXPECT_FALSE(mismatched.listening);
    EXPECT_TRUE(Has(mismatched.listen_error, "cannot use the certificate"));
}

TEST(WebSecurity, HugeOrMalformedRequestsDoNotHurtTheServer) {
    TempWorkingDir dir;
    WebFixture web;
    ASSERT_TRUE(web.listening) << web.listen_error;
    web.Store(TestHeader(8, "Firme"), std::vector<int>(5, 50));
    EXPECT_TRUE(
        Has(web.Get("/")->get_header_value("Content-Security-Policy"), "default-src 'none'"));
    const std::vector<std::pair<std::string, std::string>> requests = {
        {"GET /" + std::string(1 << 20, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", " 414"},
        {"GET /uploads/1%00.csv HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", " 404"},
        {"GET /uploads/99999999999999999999 HTTP/1.1\r\nConnection: close\r\n\r\n", " 404"},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999\r\nConnection: close\r\n\r\n", ""},
        {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
         "ffffffffffffffff\r\n",
         ""},
    };
    for (const auto& [request, status] : requests) {
        const std::string answer = Raw(web.server->Port(), request);
        if (!status.empty()) {
            EXPECT_TRUE(Has(StatusLine(answer), status))
                << request.substr(0, 80) << " -> " << StatusLine(answer);
        }
        EXPECT_TRUE(Has(web.Body("/cards/8"), "Firme")) << "after " << request.substr(0, 80);
    }
}

}  // namespace
