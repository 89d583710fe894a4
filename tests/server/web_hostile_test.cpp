// The web view against clients that try to take it down or to make it work for them:
// idle and trickling connections, trickled TLS handshakes, many ranges, costly
// compression, and bodies that would be read as the next request.

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "support/run_command.h"
#include "web_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

// A connection from `source`, a loopback address of its own, as from another machine.
int ConnectFrom(const std::string& source, int port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bind(s, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
        connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// Sockets that close themselves.
struct Sockets {
    ~Sockets() {
        for (const int s : fds) {
            close(s);
        }
    }
    std::vector<int> fds;
};

// Sends `head`, and `body` once the answer to it has begun; what comes back until the
// server closes or 3 s pass.
std::string RawInTwo(int port, const std::string& head, const std::string& body) {
    const int s = ConnectFrom("127.0.0.1", port);
    timeval timeout{3, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    send(s, head.data(), head.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[4096];
    ssize_t n = recv(s, buffer, sizeof buffer, 0);
    if (n > 0) {
        answer.append(buffer, static_cast<std::size_t>(n));
        send(s, body.data(), body.size(), MSG_NOSIGNAL);
        while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) {
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(s);
    return answer;
}

// The certificate and key for HTTPS, made by the openssl command; false without it.
bool MakeCertificate() {
    return RunShell(
               "command -v openssl >/dev/null && openssl req -x509 -newkey rsa:2048 -nodes "
               "-keyout key.pem -out cert.pem -days 2 -subj /CN=localhost 2>&1")
               .status == 0;
}

// The slowest of `count` answers to GET / from a client that is none of the slow ones.
template <typename Client>
double SlowestHomeMs(Client& client, int count) {
    client.set_connection_timeout(2, 0);
    client.set_read_timeout(2, 0);
    double slowest = 0;
    for (int k = 0; k < count; ++k) {
        const auto begin = Clock::now();
        const httplib::Result r = client.Get("/");
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
        slowest = std::max(slowest, r && r->status == 200 ? ms : 1e9);
    }
    return slowest;
}

}  // namespace

TEST(WebViewPaced, AnswersWithinTwoHundredMillisecondsBesideAThousandSlowClients) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < 2400) {
        GTEST_SKIP() << "needs 2400 descriptors, the limit is " << limit.rlim_cur;
    }
    TempWorkingDir dir;
    WebFixture web;
    ASSERT_TRUE(web.listening) << web.listen_error;
    web.Store(TestHeader(8, "Firme"), std::vector<int>(50, 50));
    // 500 idle and 500 slowloris clients, from 40 addresses.
    Sockets idle;
    Sockets slow;
    for (int k = 0; k < 1000; ++k) {
        const std::string from = "127.0.1." + std::to_string(1 + k % 40);
        const int s = ConnectFrom(from, web.server->Port());
        ASSERT_GE(s, 0) << k;
        (k % 2 == 0 ? idle : slow).fds.push_back(s);
    }
    const std::string start = "GET / HTTP/1.1\r\nHost: x\r\n";
    for (const int s : slow.fds) {
        send(s, start.data(), start.size(), MSG_NOSIGNAL);
    }
    std::atomic<bool> done{false};
    std::jthread trickle([&] {
        while (!done) {
            for (const int s : slow.fds) {
                send(s, "X", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            }
            for (int tick = 0; tick < 5 && !done; ++tick) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    });
    httplib::Client client("127.0.0.1", web.server->Port());
    const double slowest = SlowestHomeMs(client, 20);
    done = true;
    std::printf("GET / beside 500 idle and 500 slowloris clients: slowest of 20 in %.1f ms\n",
                slowest);
    EXPECT_LT(slowest, 200.0);

    if (!MakeCertificate()) {
        GTEST_SKIP() << "the openssl command is not installed";
    }
    WebOptions options;
    options.tls_cert = "cert.pem";
    options.tls_key = "key.pem";
    WebFixture tls(options);
    ASSERT_TRUE(tls.listening) << tls.listen_error;
    // The start of a ClientHello, a byte at a time, from 8 clients.
    const std::string hello("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11);
    Sockets handshakes;
    for (int k = 0; k < 8; ++k) {
        handshakes.fds.push_back(ConnectFrom("127.0.2.1", tls.server->Port()));
        send(handshakes.fds.back(), hello.data(), 1, MSG_NOSIGNAL);
    }
    std::atomic<bool> tls_done{false};
    std::jthread tls_trickle([&] {
        for (std::size_t at = 1; at < hello.size() && !tls_done; ++at) {
            for (const int s : handshakes.fds) {
                send(s, &hello[at], 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    httplib::SSLClient secure("127.0.0.1", tls.server->Port());
    secure.enable_server_certificate_verification(false);
    const double slowest_tls = SlowestHomeMs(secure, 10);
    tls_done = true;
    std::printf("GET / over HTTPS beside 8 trickled handshakes: slowest of 10 in %.1f ms\n",
                slowest_tls);
    EXPECT_LT(slowest_tls, 200.0);
}

TEST(WebHostile, ManyRangesOrBrotliGetTheWholeFileOnceUncompressed) {
    TempWorkingDir dir;
    WebFixture web;
    ASSERT_TRUE(web.listening) << web.listen_error;
    const long long id = web.Store(TestHeader(8, "Firme"), std::vector<int>(8000, 50));
    const auto csv = web.Get("/uploads/" + std::to_string(id) + ".csv");
    ASSERT_TRUE(csv);
    ASSERT_GT(csv->body.size(), 100000u);
    std::string ranges = "bytes=0-";
    for (int k = 0; k < 200; ++k) {
        ranges += ",0-";
    }
    for (const std::string& extra :
         {"Range: " + ranges + "\r\n", std::string("Range: bytes=10-20\r\n"),
          std::string("Accept-Encoding: br\r\n"), std::string("Accept-Encoding: gzip, br\r\n")}) {
        const std::string answer = Raw(web.server->Port(), "GET /uploads/" + std::to_string(id) +
                                                               ".csv HTTP/1.1\r\nHost: x\r\n" +
                                                               extra + "Connection: close\r\n\r\n");
        EXPECT_EQ(StatusLine(answer), "HTTP/1.1 200 OK") << extra;
        EXPECT_LT(answer.size(), csv->body.size() + 2000) << extra;
        EXPECT_FALSE(Has(answer.substr(0, answer.find("\r\n\r\n")), "Content-Encoding")) << extra;
        EXPECT_TRUE(answer.ends_with(csv->body)) << extra;
    }
}

TEST(WebHostile, ABodyIsNeverReadAsTheNextRequest) {
    TempWorkingDir dir;
    WebFixture web;
    ASSERT_TRUE(web.listening) << web.listen_error;
    web.Store(TestHeader(8, "Firme"), std::vector<int>(5, 50));
    const std::string smuggled = "GET /cards/8 HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::string length = std::to_string(smuggled.size());
    for (const std::string& head :
         {"GET /nada HTTP/1.1\r\nHost: x\r\nContent-Length: " + length + "\r\n\r\n",
          "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: " + length + "\r\n\r\n"}) {
        for (const bool at_once : {true, false}) {
            const std::string answer = at_once ? Raw(web.server->Port(), head + smuggled)
                                               : RawInTwo(web.server->Port(), head, smuggled);
            std::size_t answers = 0;
            for (std::size_t at = answer.find("HTTP/1."); at != std::string::npos;
                 at = answer.find("HTTP/1.", at + 1)) {
                ++answers;
            }
            EXPECT_EQ(answers, 1u)
                << head.substr(0, 20) << at_once << " -> " << answer.substr(0, 300);
            EXPECT_FALSE(Has(answer, "Firme")) << head.substr(0, 20) << at_once;
        }
    }
}

TEST(WebHostile, HttpsOffersOnlyForwardSecrecyAndAeadAndAsksToStayOnIt) {
    TempWorkingDir dir;
    if (!MakeCertificate()) {
        GTEST_SKIP() << "the openssl command is not installed";
    }
    WebOptions options;
    options.tls_cert = "cert.pem";
    options.tls_key = "key.pem";
    WebFixture web(options);
    ASSERT_TRUE(web.listening) << web.listen_error;
    httplib::SSLClient tls("127.0.0.1", web.server->Port());
    tls.enable_server_certificate_verification(false);
    const auto r = tls.Get("/");
    ASSERT_TRUE(r) << httplib::to_string(r.error());
    EXPECT_TRUE(Has(r->get_header_value("Strict-Transport-Security"), "max-age="));
    const std::string connect = "echo | timeout 10 openssl s_client -connect 127.0.0.1:" +
                                std::to_string(web.server->Port()) + " ";
    struct Offer {
        std::string options;
        bool agreed;
    };
    for (const Offer& offer :
         {Offer{"-tls1_3", true}, Offer{"-tls1_2 -cipher ECDHE-RSA-AES128-GCM-SHA256", true},
          Offer{"-tls1_2 -cipher AES128-SHA", false},
          Offer{"-tls1_2 -cipher ECDHE-RSA-AES128-SHA", false},
          Offer{"-tls1_2 -cipher AES256-GCM-SHA384", false}, Offer{"-tls1_1", false}}) {
        const ShellResult hello = RunShell(connect + offer.options + " 2>&1");
        EXPECT_EQ(!Has(hello.output, "Cipher is (NONE)") && Has(hello.output, "Cipher is "),
                  offer.agreed)
            << offer.options << "\n"
            << hello.output.substr(0, 600);
    }
}
