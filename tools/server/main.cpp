// razurozavi-server: the collection server that cards in cloud mode upload to.

#include <getopt.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "alert_monitor.h"
#include "collection_server.h"
#include "pg_connection.h"
#include "web_server.h"
#include "web_store.h"

namespace {

constexpr const char* kUsage =
    "usage: razurozavi-server [--port P] [--bind ADDRESS] [--db FILE|URI] [--idle-timeout MS]\n"
    "                         [--web-port P] [--web-password-file FILE]\n"
    "                         [--tls-cert FILE --tls-key FILE] [--profile NAME|FILE]\n"
    "                         [--alerts FILE] [--alert-interval S]\n"
    "       razurozavi-server --list [--db FILE|URI]\n"
    "       razurozavi-server --verify [--db FILE|URI]\n"
    "       razurozavi-server --help | --version\n"
    "--web-port: the web view's port (default 40080, 0 turns it off), on the --bind\n"
    "address; an address other than loopback needs --web-password-file (user:HASH lines,\n"
    "HASH from mkpasswd); --tls-cert and --tls-key serve it over HTTPS.\n"
    "--profile: the rules every recording is judged by in the web view, a built-in\n"
    "profile (default cartao) or a profile file.\n"
    "--verify: walks the chain over the stored uploads, making each upload's SHA-256 again\n"
    "from its stored fields and readings; one line per upload that fails, then a summary;\n"
    "exit status 0 only when every upload holds.\n"
    "--db: a SQLite file, or a PostgreSQL database as a libpq connection string,\n"
    "postgresql://USER@HOST/DBNAME or \"host=HOST dbname=DBNAME\" (its password from\n"
    "~/.pgpass or PGPASSWORD).\n"
    "--alerts: the alert rules (see the manual page), checked and delivered every\n"
    "--alert-interval seconds (default 60).\n";
constexpr const char* kDefaultDb = "uploads.sqlite";

CollectionServer* running_server = nullptr;

void StopOnSignal(int) {
    if (running_server != nullptr) {
        running_server->Stop();
    }
}

bool ParseNumber(const char* text, int low, int high, int& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || parsed < low || parsed > high) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

int Usage(const char* why) {
    std::fprintf(stderr, "%s\n%s", why, kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    ServerOptions options;
    WebOptions web;
    std::string db = kDefaultDb;
    bool list = false;
    bool verify = false;
    std::optional<AlertRules> alert_rules;
    int alert_interval_s = DEFAULT_ALERT_INTERVAL_S;
    enum Option {
        kPort = 1,
        kBind,
        kDb,
        kIdle,
        kWebPort,
        kPasswords,
        kCert,
        kKey,
        kProfile,
        kAlerts,
        kAlertInterval,
        kList,
        kVerify,
        kHelp,
        kVersion
    };
    const option table[] = {{"port", required_argument, nullptr, kPort},
                            {"bind", required_argument, nullptr, kBind},
                            {"db", required_argument, nullptr, kDb},
                            {"idle-timeout", required_argument, nullptr, kIdle},
                            {"web-port", required_argument, nullptr, kWebPort},
                            {"web-password-file", required_argument, nullptr, kPasswords},
                            {"tls-cert", required_argument, nullptr, kCert},
                            {"tls-key", required_argument, nullptr, kKey},
                            {"profile", required_argument, nullptr, kProfile},
                            {"alerts", required_argument, nullptr, kAlerts},
                            {"alert-interval", required_argument, nullptr, kAlertInterval},
                            {"list", no_argument, nullptr, kList},
                            {"verify", no_argument, nullptr, kVerify},
                            {"help", no_argument, nullptr, kHelp},
                            {"version", no_argument, nullptr, kVersion},
                            {nullptr, 0, nullptr, 0}};
    opterr = 0;
    for (;;) {
        const int found = getopt_long(argc, argv, "+:", table, nullptr);
        if (found == -1) {
            break;
        }
        const char* value = optarg;
        switch (found) {
            case ':':
                return Usage((std::string(argv[optind - 1]) + " needs a value").c_str());
            case '?':
                return Usage((std::string("unknown argument: ") + argv[optind - 1]).c_str());
            case kHelp:
                std::fputs(kUsage, stdout);
                return 0;
            case kVersion:
                std::printf("razurozavi-server %s\n", RAZUROZAVI_VERSION);
                return 0;
            case kList:
                list = true;
                break;
            case kVerify:
                verify = true;
                break;
            case kPort:
                if (!ParseNumber(value, 0, 65535, options.port)) {
                    return Usage("--port wants a number from 0 to 65535");
                }
                break;
            case kIdle:
                if (!ParseNumber(value, 1, 24 * 3600 * 1000, options.idle_timeout_ms)) {
                    return Usage("--idle-timeout wants milliseconds");
                }
                break;
            case kWebPort:
                if (!ParseNumber(value, 0, 65535, web.port)) {
                    return Usage("--web-port wants a number from 0 to 65535");
                }
                break;
            case kPasswords:
                web.password_file = value;
                break;
            case kCert:
                web.tls_cert = value;
                break;
            case kKey:
                web.tls_key = value;
                break;
            case kProfile: {
                ProfileLookup lookup = FindProfile(value, UserProfileDir());
                if (!lookup.profile) {
                    std::fprintf(stderr, "razurozavi-server: %s\n", lookup.message.c_str());
                    return 1;
                }
                web.profile = std::move(*lookup.profile);
                break;
            }
            case kAlerts: {
                AlertRulesLoad load = LoadAlertRules(value);
                if (!load.rules) {
                    std::fprintf(stderr, "razurozavi-server: %s\n", load.error.c_str());
                    return 1;
                }
                alert_rules = std::move(load.rules);
                break;
            }
            case kAlertInterval:
                if (!ParseNumber(value, 1, 24 * 3600, alert_interval_s)) {
                    return Usage("--alert-interval wants seconds, from 1 to 86400");
                }
                break;
            case kBind:
                options.bind_address = value;
                break;
            case kDb:
                db = value;
                break;
            default:
                break;
        }
    }
    if (list && verify) {
        return Usage("--list and --verify go one at a time");
    }
    if (optind < argc) {
        return Usage((std::string("unknown argument: ") + argv[optind]).c_str());
    }
    // Every user of the machine can read a command line.
    if (IsPostgresDatabase(db) && PgUriHasPassword(db)) {
        return Usage("--db: the password goes in ~/.pgpass or PGPASSWORD, not on the command line");
    }

    // Opening a mistyped path would make an empty store there, which verifies.
    if (verify && !IsPostgresDatabase(db) && access(db.c_str(), F_OK) != 0) {
        std::fprintf(stderr, "razurozavi-server: %s: no such database\n", db.c_str());
        return 1;
    }
    std::string error;
    const std::unique_ptr<UploadStore> store = UploadStore::Open(db, &error);
    if (!store) {
        std::fprintf(stderr, "razurozavi-server: %s: %s\n", db.c_str(), error.c_str());
        return 1;
    }
    if (list) {
        for (const StoredUpload& upload : store->List()) {
            std::printf("%s\n", UploadLine(upload).c_str());
        }
        return 0;
    }
    if (verify) {
        long long checked = 0;
        const std::vector<UploadFault> faults = VerifyUploads(*store, &checked);
        for (const UploadFault& fault : faults) {
            std::printf("upload %lld serial %ld: %s\n", fault.id, fault.serial, fault.what.c_str());
        }
        if (faults.empty()) {
            std::printf("%lld upload%s verified, the chain holds\n", checked,
                        checked == 1 ? "" : "s");
            return 0;
        }
        std::printf("%lld upload%s checked, %zu fault%s\n", checked, checked == 1 ? "" : "s",
                    faults.size(), faults.size() == 1 ? "" : "s");
        return 1;
    }

    // libcurl is made ready before any thread starts.
    std::unique_ptr<AlertDelivery> alert_delivery;
    if (alert_rules) {
        alert_delivery = std::make_unique<AlertDelivery>(*alert_rules);
    }
    std::unique_ptr<AlertStore> alert_store;
    if (alert_rules || web.port != 0) {
        alert_store = AlertStore::Open(db, &error);
        if (!alert_store) {
            std::fprintf(stderr, "razurozavi-server: %s: %s\n", db.c_str(), error.c_str());
            return 1;
        }
        web.alerts = alert_store.get();
    }

    // The web view first: a refused option must stop the server before it takes uploads.
    std::unique_ptr<WebStore> web_store;
    std::unique_ptr<WebServer> web_server;
    if (web.port != 0) {
        web.bind_address = options.bind_address;
        web_store = WebStore::Open(db, &error);
        if (!web_store) {
            std::fprintf(stderr, "razurozavi-server: %s: %s\n", db.c_str(), error.c_str());
            return 1;
        }
        web_server = std::make_unique<WebServer>(*web_store, web);
        if (!web_server->Listen(&error)) {
            std::fprintf(stderr, "razurozavi-server: %s\n", error.c_str());
            return 1;
        }
        for (const std::string& warning : web_server->Warnings()) {
            std::fprintf(stderr, "razurozavi-server: warning: %s\n", warning.c_str());
        }
    }

    CollectionServer server(*store, options);
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "razurozavi-server: %s\n", error.c_str());
        return 1;
    }
    running_server = &server;
    std::signal(SIGINT, StopOnSignal);
    std::signal(SIGTERM, StopOnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("listening on %s port %d\n", options.bind_address.c_str(), server.Port());
    std::thread web_thread;
    if (web_server) {
        std::printf("web view on %s://%s:%d/\n", web_server->Tls() ? "https" : "http",
                    options.bind_address.c_str(), web_server->Port());
        web_thread = std::thread([&] { web_server->Serve(); });
    }
    std::fflush(stdout);
    std::unique_ptr<AlertMonitor> alert_monitor;
    if (alert_rules) {
        alert_monitor = std::make_unique<AlertMonitor>(
            *alert_store, *alert_rules, *alert_delivery, alert_interval_s,
            [](const std::string& line) {
                std::fprintf(stderr, "razurozavi-server: %s\n", line.c_str());
            });
        alert_monitor->Start();
    }
    server.Serve();
    running_server = nullptr;
    if (alert_monitor) {
        alert_monitor->Stop();
    }
    if (web_server) {
        web_server->Stop();
        web_thread.join();
    }
    return 0;
}
