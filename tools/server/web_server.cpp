#include "web_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netdb.h>
#include <openssl/ssl.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// What every answer carries: no script at all, nothing from elsewhere, no framing.
const httplib::Headers kSecurityHeaders = {
    {"Content-Security-Policy",
     "default-src 'none'; style-src 'self'; img-src 'self'; base-uri 'none'; "
     "form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
};

// A request asks for no more than a path and a few headers.
constexpr std::size_t PAYLOAD_MAX = 1024;
constexpr int READ_TIMEOUT_S = 10;
constexpr int WRITE_TIMEOUT_S = 30;
constexpr int KEEP_ALIVE_MAX = 100;
// Page numbers beyond this are taken as the last page.
constexpr long long PAGE_MAX = 1000000000LL;

// "?pagina=N": 1 when absent or not a number.
long long PageOf(const httplib::Request& req) {
    if (!req.has_param("pagina")) {
        return 1;
    }
    const std::string text = req.get_param_value("pagina");
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return 1;
    }
    return std::min(std::stoll(text), PAGE_MAX);
}

// The numbers the routes' patterns let through (at most 18 digits).
long long IdOf(const httplib::Request& req) {
    return std::stoll(req.matches[1].str());
}

void Send(httplib::Response& res, const WebResponse& page) {
    res.status = page.status;
    res.set_content(page.body, page.content_type.c_str());
    if (!page.download_name.empty()) {
        res.set_header("Content-Disposition",
                       "attachment; filename=\"" + page.download_name + "\"");
    }
}

bool LoopbackAddress(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) {
            return true;
        }
        // ::ffff:127.x.x.x
        return IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr) && v6->sin6_addr.s6_addr[12] == 127;
    }
    return false;
}

}  // namespace

bool IsLoopbackHost(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 ||
        found == nullptr) {
        return false;
    }
    bool loopback = true;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        loopback = loopback && LoopbackAddress(a->ai_addr);
    }
    freeaddrinfo(found);
    return loopback;
}

WebServer::WebServer(WebStore& store, WebOptions options)
    : view_(store), options_(std::move(options)) {}

WebServer::~WebServer() {
    Stop();
}

bool WebServer::Listen(std::string* error) {
    const bool loopback = IsLoopbackHost(options_.bind_address);
    if (!loopback && options_.password_file.empty()) {
        *error = "the web view on " + options_.bind_address +
                 ", which is not a loopback address, needs --web-password-file";
        return false;
    }
    if (options_.tls_cert.empty() != options_.tls_key.empty()) {
        *error = "--tls-cert and --tls-key go together";
        return false;
    }
    if (!options_.password_file.empty()) {
        if (!auth_.Load(options_.password_file, error)) {
            return false;
        }
        need_password_ = true;
    }
    if (Tls()) {
        const std::string cert = options_.tls_cert;
        const std::string key = options_.tls_key;
        http_ = std::make_unique<httplib::SSLServer>([cert, key](SSL_CTX& ctx) {
            SSL_CTX_set_min_proto_version(&ctx, TLS1_2_VERSION);
            return SSL_CTX_use_certificate_chain_file(&ctx, cert.c_str()) == 1 &&
                   SSL_CTX_use_PrivateKey_file(&ctx, key.c_str(), SSL_FILETYPE_PEM) == 1 &&
                   SSL_CTX_check_private_key(&ctx) == 1;
        });
        if (!http_->is_valid()) {
            *error = "cannot use the certificate " + cert + " with the key " + key;
            return false;
        }
    } else {
        http_ = std::make_unique<httplib::Server>();
        if (!loopback) {
            warnings_.push_back("the web view on " + options_.bind_address +
                                " is plain HTTP: passwords and data cross the network "
                                "readable; give --tls-cert and --tls-key");
        }
    }
    const int threads = options_.threads;
    http_->new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<std::size_t>(threads));
    };
    http_->set_payload_max_length(PAYLOAD_MAX);
    http_->set_read_timeout(READ_TIMEOUT_S, 0);
    http_->set_write_timeout(WRITE_TIMEOUT_S, 0);
    http_->set_keep_alive_max_count(KEEP_ALIVE_MAX);
    http_->set_default_headers(kSecurityHeaders);
    Route();
    const int port =
        options_.port == 0
            ? http_->bind_to_any_port(options_.bind_address)
            : (http_->bind_to_port(options_.bind_address, options_.port) ? options_.port : -1);
    if (port < 0) {
        *error =
            "cannot listen on " + options_.bind_address + " port " + std::to_string(options_.port);
        return false;
    }
    port_ = port;
    return true;
}

void WebServer::Route() {
    httplib::Server& s = *http_;
    // Every request: the password first, and the time it took in Server-Timing.
    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (req.method != "GET" && req.method != "HEAD") {
            res.status = 405;
            res.set_header("Allow", "GET, HEAD");
            res.set_content("Somente leitura.\n", "text/plain; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (need_password_ && !auth_.Check(req.get_header_value("Authorization"))) {
            Send(res, WebView::Unauthorized());
            res.set_header("WWW-Authenticate", "Basic realm=\"RazuRozavi\", charset=\"UTF-8\"");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    const auto timed = [](auto handler) {
        return [handler](const httplib::Request& req, httplib::Response& res) {
            const auto start = std::chrono::steady_clock::now();
            Send(res, handler(req));
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            char timing[48];
            std::snprintf(timing, sizeof timing, "app;dur=%.2f", ms);
            res.set_header("Server-Timing", timing);
        };
    };
    s.Get("/", timed([this](const httplib::Request& req) { return view_.Home(PageOf(req)); }));
    s.Get("/estilo.css", timed([](const httplib::Request&) { return WebView::Stylesheet(); }));
    s.Get(R"(/cards/(\d{1,18}))", timed([this](const httplib::Request& req) {
              const long long serial = IdOf(req);
              return serial > 0xFFFFFF ? WebView::NotFound()
                                       : view_.CardPage(static_cast<long>(serial), PageOf(req));
          }));
    s.Get(R"(/uploads/(\d{1,18}))", timed([this](const httplib::Request& req) {
              return view_.UploadPage(IdOf(req), PageOf(req));
          }));
    s.Get(R"(/uploads/(\d{1,18})\.csv)",
          timed([this](const httplib::Request& req) { return view_.UploadCsv(IdOf(req)); }));
    s.Get("/api/cards",
          timed([this](const httplib::Request& req) { return view_.ApiCards(PageOf(req)); }));
    s.Get(R"(/api/cards/(\d{1,18}))", timed([this](const httplib::Request& req) {
              const long long serial = IdOf(req);
              return serial > 0xFFFFFF ? WebView::NotFound()
                                       : view_.ApiCard(static_cast<long>(serial), PageOf(req));
          }));
    s.Get(R"(/api/uploads/(\d{1,18}))",
          timed([this](const httplib::Request& req) { return view_.ApiUpload(IdOf(req)); }));
    // Unknown addresses, and the library's own refusals (400, 413, 414, ...), get a page
    // of ours; a 401 already has its body.
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.status == 404) {
            Send(res, WebView::NotFound());
        } else if (res.body.empty()) {
            res.set_content("Pedido recusado.\n", "text/plain; charset=utf-8");
        }
    });
    s.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            res.status = 500;
            res.set_content("Erro interno.\n", "text/plain; charset=utf-8");
        });
}

void WebServer::Serve() {
    {
        std::lock_guard lock(state_mutex_);
        if (stopping_ || !http_ || port_ == 0) {
            return;
        }
        serving_ = true;
    }
    http_->listen_after_bind();
    served_ = true;
}

void WebServer::Stop() {
    {
        std::lock_guard lock(state_mutex_);
        stopping_ = true;
        if (!serving_) {
            return;
        }
    }
    // The library's stop does nothing until its loop has started: ask until it ends.
    while (!served_) {
        http_->stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
