// The web view's defences: the password and the logins it records, what is loopback, HTTPS,
// and requests that are huge, malformed or not GET.

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

TEST_F(WebPasswordTest, MissingOrMalformedPasswordGets401AndNoData) {
    ASSERT_TRUE(web.listening) << web.listen_error;
    web.Store(TestHeader(4242, "Segredo"), std::vector<int>(10, 50));
    for (const char* path : {"/", "/cards/4242", "/uploads/1", "/uploads/1.csv", "/api/cards",
                             "/api/uploads/1", "/alertas", "/auditoria", "/estilo.css", "/nada"}) {
        httplib::Client none = web.Client();
        auto r = none.Get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 401) << path;
        EXPECT_EQ(r->get_header_value("WWW-Authenticate"),
                  "Basic realm=\"RazuRozavi\", charset=\"UTF-8\"");
        EXPECT_FALSE(Has(r->body, "4242") || Has(r->body, "Segredo")) << r->body;
    }
    httplib::Client right = web.Client();
    right.set_basic_auth("qualidade", "correta");
    for (int k = 0; k < 3; ++k) {  // the second and third from memory
        auto r = right.Get("/cards/4242");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200);
        EXPECT_TRUE(Has(r->body, "Segredo"));
    }
    // Malformed Authorization values.
    for (const std::string& value : std::vector<std::string>{"Basic", "Basic !!!!", "Bearer abc",
                                                             "Basic " + std::string(10000, 'A')}) {
        const std::string answer = Raw(web.server->Port(),
                                       "GET / HTTP/1.1\r\nHost: x\r\n"
                                       "Authorization: " +
                                           value + "\r\nConnection: close\r\n\r\n",
                                       "127.0.0.9");
        EXPECT_TRUE(Has(StatusLine(answer), " 401") || Has(StatusLine(answer), " 400"))
            << StatusLine(answer);
    }
}

TEST_F(WebPasswordTest, FailedLoginsFromOneAddressAreThrottledAndANulEndsNoPassword) {
    ASSERT_TRUE(web.listening) << web.listen_error;
    web.Store(TestHeader(4242, "Segredo"), std::vector<int>(10, 50));
    const auto ask = [&](const std::string& credentials, const std::string& from) {
        const std::size_t colon = credentials.find(':');
        const auto [name, value] = httplib::make_basic_authentication_header(
            credentials.substr(0, colon), credentials.substr(colon + 1));
        return StatusLine(Raw(web.server->Port(),
                              "GET /cards/4242 HTTP/1.1\r\nHost: x\r\n" + name + ": " + value +
                                  "\r\nConnection: close\r\n\r\n",
                              from));
    };
    // A wrong password, the right one of another user, none at all, then others wrong.
    for (int k = 0; k < LOGIN_FAILURES_ALLOWED; ++k) {
        const std::string wrong = k == 0   ? "qualidade:errada"
                                  : k == 1 ? "outro:correta"
                                  : k == 2 ? "qualidade:"
                                           : "qualidade:errada" + std::to_string(k);
        EXPECT_TRUE(Has(ask(wrong, "127.0.0.20"), " 401")) << wrong;
    }
    // From then on that address is refused, its right password too; others are not.
    const std::string throttled = ask("qualidade:errada", "127.0.0.20");
    EXPECT_TRUE(Has(throttled, " 429")) << throttled;
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
    EXPECT_EQ(web.web_store->Logins(0, 10).at(0).time.size(), 19u);  // 2026-01-02 03:04:05
}

// A password kept plain, no user, or a hash cut short or with a character lost (which
// would let no password in) is refused at once, naming the line; SHA-512, as `mkpasswd -m
// sha-512` makes it, is taken beside yescrypt.
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
             {"a:" + whole + "\nb:" + whole.substr(0, whole.size() - 4) + "\n", "senhas line 2"},
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
    std::string error;
    EXPECT_FALSE(WebAuth().Load("missing", &error));
}

TEST(WebSecurity, OnlyLoopbackAddressesAreLoopback) {
    for (const auto& [host, loopback] :
         {std::pair("127.0.0.1", true), std::pair("127.8.9.10", true), std::pair("::1", true),
          std::pair("0.0.0.0", false), std::pair("::", false), std::pair("192.0.2.1", false)}) {
        EXPECT_EQ(IsLoopbackHost(host), loopback) << host;
    }
}

// HTTPS with the certificate and key given: no plain HTTP beside it, only forward secrecy
// and AEAD ciphers offered, browsers asked to stay on it, and a key not the certificate's
// refused.
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
    EXPECT_EQ(r->status, 200);
    EXPECT_TRUE(Has(r->body, "Cifrado"));
    EXPECT_TRUE(Has(r->get_header_value("Strict-Transport-Security"), "max-age="));
    EXPECT_FALSE(Has(Raw(web.server->Port(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n"), "Cifrado"));
    const std::string connect = "echo | timeout 10 openssl s_client -connect 127.0.0.1:" +
                                std::to_string(web.server->Port()) + " ";
    for (const auto& [offer, agreed] :
         {std::pair("-tls1_3", true),
          std::pair("-tls1_2 -cipher ECDHE-RSA-AES128-GCM-SHA256", true),
          std::pair("-tls1_2 -cipher AES128-SHA", false),
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
    const int port = web.server->Port();
    const std::string many_headers = [] {
        std::string h;
        for (int k = 0; k < 20000; ++k) {
            h += "X-" + std::to_string(k) + ": v\r\n";
        }
        return h;
    }();
    const std::vector<std::pair<std::string, std::string>> requests = {
        {"GET /" + std::string(1 << 20, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", " 414"},
        {"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(1 << 20, 'b') + "\r\n\r\n", ""},
        {"GET / HTTP/1.1\r\nHost: x\r\n" + many_headers + "Connection: close\r\n\r\n", ""},
        {"GET / HTTP/1.1\r\nHost: x\r\nRange: bytes=" + std::string(8000, '0') +
             "-\r\nConnection: close\r\n\r\n",
         ""},
        {"GARBAGE\r\n\r\n", ""},
        {std::string("\x00\xFF\x16\x03\x01\r\n\r\n", 9), ""},
        {"GET /uploads/1%00.csv HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", " 404"},
        {"GET /uploads/99999999999999999999 HTTP/1.1\r\nConnection: close\r\n\r\n", " 404"},
        {"GET /uploads/999999999999999999 HTTP/1.1\r\nConnection: close\r\n\r\n", " 404"},
        {"GET /cards/-1 HTTP/1.1\r\nConnection: close\r\n\r\n", " 404"},
        {"GET /../../etc/passwd HTTP/1.1\r\nConnection: close\r\n\r\n", " 404"},
        {"GET /?pagina=99999999999999999999999 HTTP/1.1\r\nConnection: close\r\n\r\n", " 200"},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\nConnection: close\r\n\r\nabcde", " 405"},
        {"DELETE /uploads/1 HTTP/1.1\r\nConnection: close\r\n\r\n", " 405"},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999\r\nConnection: close\r\n\r\n", ""},
        {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
         "ffffffffffffffff\r\n",
         ""},
    };
    for (const auto& [request, status] : requests) {
        const std::string answer = Raw(port, request);
        if (!status.empty()) {
            EXPECT_TRUE(Has(StatusLine(answer), status))
                << request.substr(0, 80) << " -> " << StatusLine(answer);
        }
        auto alive = web.Get("/cards/8");
        ASSERT_TRUE(alive) << "after " << request.substr(0, 80);
        EXPECT_EQ(alive->status, 200);
        EXPECT_TRUE(Has(alive->body, "Firme"));
    }
}

}  // namespace
