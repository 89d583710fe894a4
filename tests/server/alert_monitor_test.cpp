// The alerts end to end (beside tests/server/alert_receivers.py) and in-process.

#include "alert_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "cloud/fake_cloud_server.h"
#include "support/child_process.h"
#include "support/run_command.h"
#include "web_fixture.h"

namespace {

using std::chrono::milliseconds;

// Waits up to `seconds` for `done`.
template <typename Done>
bool WaitFor(Done done, int seconds = 20) {
    for (int k = 0; k < seconds * 20; ++k) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
    return done();
}

// What the receivers wrote into files named `prefix`N.`ending`, by N.
std::vector<std::string> Received(const std::string& prefix, const std::string& ending) {
    std::vector<std::string> contents;
    for (int n = 1; n <= 20; ++n) {
        const std::string name = prefix + std::to_string(n) + ending;
        if (std::filesystem::exists(name)) {
            contents.push_back(ReadFileBytes(name));
        }
    }
    return contents;
}

// Receivers down, then up across a restart: each alert goes once, by mail and webhook.
TEST(AlertMonitorTest, AnAlertWaitsForADownReceiverThenGoesOnceByMailAndSignedWebhook) {
    TempWorkingDir dir;
    const ShellResult made = RunShell(
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
        "-keyout key.pem -out cert.pem -days 2 -subj /CN=127.0.0.1 "
        "-addext subjectAltName=IP:127.0.0.1");
    ASSERT_EQ(made.status, 0) << made.output;
    const std::string secret = "segredo-do-laboratorio";
    WriteFileBytes("smtp.pass", "s3nha\n");
    WriteFileBytes("hook.secret", secret);
    const std::string smtp_port = std::to_string(FreeLoopbackPort());
    const std::string https_port = std::to_string(FreeLoopbackPort());
    WriteFileBytes("alerts.conf", "mail smtp://127.0.0.1:" + smtp_port +
                                      " from=servidor@example.com to=qualidade@example.com "
                                      "user=servidor password-file=smtp.pass ca-file=cert.pem\n"
                                      "webhook https://127.0.0.1:" +
                                      https_port +
                                      "/alertas secret-file=hook.secret ca-file=cert.pem\n"
                                      "limits all\nsilence 424242 hours=1\n");
    std::unique_ptr<UploadStore> uploads;
    std::unique_ptr<AlertStore> alerts;
    std::unique_ptr<ChildProcess> server;
    // The server, with its alert check made once (so that what is stored next is news).
    const auto start_server = [&] {
        std::filesystem::remove("server.out");
        server = std::make_unique<ChildProcess>(
            std::vector<std::string>{RAZUROZAVI_SERVER, "--port", "0", "--web-port", "0", "--db",
                                     "uploads.sqlite", "--alerts", "alerts.conf",
                                     "--alert-interval", "1"},
            "server.out", "server.err");
        std::string error;
        return WaitFor([] { return Has(ReadFileBytes("server.out"), "listening on"); }) &&
               (uploads || (uploads = UploadStore::Open("uploads.sqlite", &error))) &&
               (alerts || (alerts = AlertStore::Open("uploads.sqlite", &error))) &&
               WaitFor([&] { return alerts->CheckedThrough().has_value(); });
    };
    // A recording with a warm hour, or one inside the limits.
    const auto store = [&](long serial, bool warm, unsigned char minute) {
        std::vector<int> tenths(24, 50);
        tenths.insert(tenths.end(), warm ? 12 : 0, 95);
        uploads->Store("127.0.0.1", TestHeader(serial, "Camara", 300, {0, minute, 12, 10, 6, 24}),
                       tenths);
        return uploads->List().back().id;
    };
    const auto attempted = [&](int attempts, bool sent) {
        const std::vector<StoredAlert> listed = alerts->Alerts(0, 100);
        return std::all_of(listed.begin(), listed.end(), [&](const StoredAlert& a) {
            return a.attempts >= attempts && a.sent.has_value() == sent;
        });
    };

    ASSERT_TRUE(start_server()) << ReadFileBytes("server.err");
    const long long warm = store(5150, true, 1);
    ASSERT_TRUE(WaitFor([&] { return alerts->AlertCount() == 2 && attempted(1, false); }));
    EXPECT_TRUE(Has(ReadFileBytes("server.err"), "not delivered"));

    server.reset();
    const ChildProcess receivers(
        {"/usr/bin/python3", RAZUROZAVI_SOURCE_DIR "/tests/server/alert_receivers.py", ".",
         "cert.pem", "key.pem", secret, smtp_port, https_port},
        "receivers.out", "receivers.err");
    ASSERT_TRUE(WaitFor([] { return std::filesystem::exists("ports"); }))
        << ReadFileBytes("receivers.err");
    ASSERT_TRUE(start_server()) << ReadFileBytes("server.err");
    ASSERT_TRUE(WaitFor([] {
        return Received("mail-", ".txt").size() + Received("hook-", ".check").size() == 2;
    })) << ReadFileBytes("server.err");
    store(5150, false, 2);
    const std::string mail = Received("mail-", ".txt").at(0);
    for (const char* part : {"LOGIN servidor s3nha\r\n",
                             // "Alerta RazuRozavi: cartão 5150 (limits all)", UTF-8 in base64
                             "Subject: =?UTF-8?B?QWxlcnRhIFJhenVSb3phdmk6IGNhcnTDo28gNTE1MCAobGlt"
                             "aXRzIGFsbCk=?=\r\n",
                             "Cartão 5150 saiu dos limites: 1 episódio de alarme"}) {
        EXPECT_TRUE(Has(mail, part)) << part << "\n" << mail;
    }
    EXPECT_EQ(Received("hook-", ".check").at(0), "valid");
    const std::string hook = Received("hook-", ".json").at(0);
    EXPECT_TRUE(Has(hook, "\"serial\":5150,\"envio\":" + std::to_string(warm) + ",")) << hook;

    // A card silent for longer than its rule allows: its last upload made older.
    const long long quiet = store(424242, false, 3);
    const std::string older =
        "UPDATE uploads SET received = '2026-01-01 00:00:00' WHERE id = " + std::to_string(quiet);
    ASSERT_EQ(RunShell("sqlite3 -cmd '.timeout 5000' uploads.sqlite \"" + older + "\"").status, 0);
    ASSERT_TRUE(WaitFor([] {
        return Received("mail-", ".txt").size() == 2 && Received("hook-", ".check").size() == 2;
    }));
    EXPECT_TRUE(Has(Received("mail-", ".txt").at(1), "Cartão 424242 sem envios há mais de 1 h"));
    EXPECT_TRUE(WaitFor([&] { return alerts->AlertCount() == 4 && attempted(0, true); }));
    std::this_thread::sleep_for(milliseconds(2500));
    EXPECT_EQ(Received("mail-", ".txt").size() + Received("hook-", ".json").size(), 4u);
}

// A monitor in-process, its webhook on loopback port `port` (1: every delivery fails at once).
class AlertMonitorRound : public ::testing::Test {
  protected:
    void Watch(int port, const std::string& rule) {
        std::string error;
        uploads = UploadStore::Open("uploads.sqlite", &error);
        alerts = AlertStore::Open("uploads.sqlite", &error);
        ASSERT_TRUE(alerts) << error;
        const AlertRulesLoad load = ParseAlertRules(
            "webhook https://127.0.0.1:" + std::to_string(port) + "/ secret-env=HOME\n" + rule,
            "t");
        ASSERT_TRUE(load.rules) << load.error;
        rules = *load.rules;
        delivery = std::make_unique<AlertDelivery>(rules);
        monitor = std::make_unique<AlertMonitor>(
            *alerts, rules, *delivery, 60,
            [this](const std::string& line) { log.push_back(line); });
    }
    std::vector<int> Attempts() const {
        std::vector<int> each;
        for (const StoredAlert& a : alerts->Alerts(0, 10)) {
            each.push_back(a.attempts);
        }
        return each;
    }

    TempWorkingDir dir;
    std::unique_ptr<UploadStore> uploads;
    std::unique_ptr<AlertStore> alerts;
    AlertRules rules;
    std::unique_ptr<AlertDelivery> delivery;
    std::unique_ptr<AlertMonitor> monitor;
    std::vector<std::string> log;
    std::string error;
};

TEST_F(AlertMonitorRound, AnUploadWhoseAlertsCannotBeKeptIsLookedAtAgainNotSkipped) {
    ASSERT_NO_FATAL_FAILURE(Watch(1, "limits all\n"));
    monitor->Round(1'800'000'000);
    uploads->Store("127.0.0.1", TestHeader(7, "x"), std::vector<int>(36, 95));
    ASSERT_EQ(RunShell("sqlite3 uploads.sqlite \"CREATE TRIGGER refuse BEFORE INSERT ON alerts "
                       "BEGIN SELECT RAISE(FAIL, 'full'); END\"")
                  .status,
              0);
    monitor->Round(1'800'000'000);
    EXPECT_EQ(alerts->CheckedThrough(), 0);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "cannot record the alert limits all@1: full");

    ASSERT_EQ(RunShell("sqlite3 uploads.sqlite 'DROP TRIGGER refuse'").status, 0);
    monitor->Round(1'800'000'001);
    EXPECT_EQ(alerts->CheckedThrough(), 1);
    EXPECT_EQ(Attempts(), std::vector<int>{1});
}

TEST_F(AlertMonitorRound, StoppingGivesUpADeliveryThatHangs) {
    int port = 0;
    const SocketHandle silent = ListenOnLoopback(port);  // takes the connection, never answers
    ASSERT_NO_FATAL_FAILURE(Watch(port, "full all\n"));
    ASSERT_TRUE(alerts->Record({{"full all@1", 7, 1, "full all", "x"}}, {"webhook"}, 0, &error));
    monitor->Start();
    std::this_thread::sleep_for(milliseconds(500));
    const auto asked = std::chrono::steady_clock::now();
    monitor->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(3));
    EXPECT_EQ(Attempts(), std::vector<int>{1});
}

TEST(AlertDelivery, TheBodyCarriesTheAlertEscapedAndTheRetriesBackOff) {
    const StoredAlert a{
        3, "limits all@9", "", 12, 9, "limits all", "Cartão \"12\"\n", 1'800'000'000, {}, 0, "",
        {}};
    EXPECT_EQ(WebhookBody(a),
              "{\"versao\":1,\"id\":3,\"chave\":\"limits all@9\",\"regra\":\"limits all\","
              "\"serial\":12,\"envio\":9,\"criado\":\"2027-01-15T08:00:00Z\","
              "\"mensagem\":\"Cartão \\\"12\\\"\\u000a\"}");
    EXPECT_EQ(AlertRetryAt(100, 1, 60), 160);
    EXPECT_EQ(AlertRetryAt(100, 40, 60), 100 + ALERT_RETRY_MAX_S);
}

}  // namespace
