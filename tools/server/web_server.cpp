#include "web_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>

#include "alert_check.h"
#include "base/number_text.h"
#include "bind_address.h"
#include "web_escape.h"

namespace {

// What every answer carries: no script at all, nothing from elsewhere, no framing.
constexpr std::pair<const char*, const char*> kSecurityHeaders[] = {
    {"Content-Security-Policy",
     "default-src 'none'; style-src 'self'; img-src 'self'; base-uri 'none'; "
     "form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
};
// Over HTTPS: the browser keeps to HTTPS for a year.
constexpr const char* kStrictTransport = "max-age=31536000";
// TLS 1.3, and TLS 1.2 only with forward secrecy and authenticated encryption.
constexpr const char* kTlsPriorities =
    "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-KX-ALL:+ECDHE-ECDSA:+ECDHE-RSA:"
    "-CIPHER-ALL:+AES-256-GCM:+AES-128-GCM:+CHACHA20-POLY1305:-MAC-ALL:+AEAD";
// A request line and its headers must fit in this, with the library's own bookkeeping.
constexpr std::size_t CONNECTION_MEMORY = 32 * 1024;
constexpr int LISTEN_BACKLOG = 1024;
// Page numbers beyond this are taken as the last page.
constexpr long long PAGE_MAX = 1000000000LL;
constexpr std::size_t ID_DIGITS_MAX = 18;
constexpr std::string_view kApiVersionPrefix = "/api/v1/";
// Of a user name tried, this many bytes are kept in the logins.
constexpr std::size_t LOGIN_USER_MAX = 64;

// "?pagina=N": 1 when absent; none when given but not a page number (1 to 10 digits,
// not 0).
std::optional<long long> PageOf(MHD_Connection* connection) {
    const char* value = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "pagina");
    if (value == nullptr) {
        return 1;
    }
    const std::string_view text = value;
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const long long page = std::stoll(std::string(text));
    if (page < 1) {
        return std::nullopt;
    }
    return std::min(page, PAGE_MAX);
}

// The number in `url` between `prefix` and `suffix`: 1 to 18 digits, nothing else.
std::optional<long long> IdIn(std::string_view url, std::string_view prefix,
                              std::string_view suffix = "") {
    if (url.size() <= prefix.size() + suffix.size() || !url.starts_with(prefix) ||
        !url.ends_with(suffix)) {
        return std::nullopt;
    }
    const std::string_view digits =
        url.substr(prefix.size(), url.size() - prefix.size() - suffix.size());
    if (digits.size() > ID_DIGITS_MAX ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return std::stoll(std::string(digits));
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

std::string AddressText(const sockaddr& address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (address.sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text,
                  sizeof text);
    } else if (address.sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
                  sizeof text);
    }
    return text;
}

std::optional<std::string> ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The path and query arrive as sent: the routes take digits only, so nothing is decoded
// (a "%00" can never cut a path short).
size_t KeepEscapes(void*, MHD_Connection*, char* text) {
    return std::strlen(text);
}

MHD_Result Dispatch(void* server, MHD_Connection* connection, const char* url, const char* method,
                    const char*, const char*, size_t* upload_data_size, void** request) {
    // A body the view does not read is dropped, and its connection closes.
    if (*request != nullptr) {
        *upload_data_size = 0;
        return MHD_YES;
    }
    *request = server;
    return static_cast<WebServer*>(server)->Answer(connection, url, method) ? MHD_YES : MHD_NO;
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
    : store_(store), view_(store, options.profile, options.alerts), options_(std::move(options)) {}

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
    std::optional<std::string> cert;
    std::optional<std::string> key;
    if (Tls()) {
        cert = ReadWhole(options_.tls_cert);
        key = ReadWhole(options_.tls_key);
        if (!cert || !key) {
            *error = "cannot read " + (cert ? options_.tls_key : options_.tls_cert);
            return false;
        }
    } else if (!loopback) {
        warnings_.push_back("the web view on " + options_.bind_address +
                            " is plain HTTP: passwords and data cross the network "
                            "readable; give --tls-cert and --tls-key");
    }

    const ResolvedAddress addresses =
        ResolveBindAddress(options_.bind_address, options_.port, error);
    if (!addresses) {
        return false;
    }
    const addrinfo* found = addresses.get();
    const int listener = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int yes = 1;
    if (listener < 0 || setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        bind(listener, found->ai_addr, found->ai_addrlen) != 0 ||
        listen(listener, LISTEN_BACKLOG) != 0) {
        *error = "cannot listen on " + options_.bind_address + " port " +
                 std::to_string(options_.port) + ": " + std::strerror(errno);
        if (listener >= 0) {
            close(listener);
        }
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ =
        ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(bound).sin6_port
                                          : reinterpret_cast<const sockaddr_in&>(bound).sin_port);

    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD;
    if (found->ai_family == AF_INET6) {
        flags |= MHD_USE_IPv6;
    }
    if (Tls()) {
        flags |= MHD_USE_TLS;
    }
    // The library takes the listening socket over, and closes it when it stops.
    daemon_ = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &Dispatch, this, MHD_OPTION_LISTEN_SOCKET, listener,
        MHD_OPTION_THREAD_POOL_SIZE, options_.threads, MHD_OPTION_CONNECTION_LIMIT, WEB_CONNECTIONS,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, WEB_CONNECTIONS_PER_ADDRESS,
        MHD_OPTION_CONNECTION_TIMEOUT, WEB_IDLE_TIMEOUT_S, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        CONNECTION_MEMORY, MHD_OPTION_UNESCAPE_CALLBACK, &KeepEscapes, nullptr,
        MHD_OPTION_HTTPS_MEM_CERT, cert ? cert->c_str() : nullptr, MHD_OPTION_HTTPS_MEM_KEY,
        key ? key->c_str() : nullptr, MHD_OPTION_HTTPS_PRIORITIES, Tls() ? kTlsPriorities : nullptr,
        MHD_OPTION_END);
    if (daemon_ == nullptr) {
        close(listener);
        *error = Tls() ? "cannot use the certificate " + options_.tls_cert + " with the key " +
                             options_.tls_key
                       : "cannot start the web view on " + options_.bind_address + " port " +
                             std::to_string(port_);
        return false;
    }
    return true;
}

WebResponse WebServer::Route(MHD_Connection* connection, const std::string& url) {
    if (url.starts_with("/api/")) {
        // Today's paths stay as aliases of the first version's.
        const std::string_view rest = std::string_view(url).substr(
            url.starts_with(kApiVersionPrefix) ? kApiVersionPrefix.size() - 1 : 4);
        return RouteApi(connection, rest);
    }
    // The pages are for people: a page number they mistyped shows the first page.
    const long long page = PageOf(connection).value_or(1);
    if (url == "/") {
        return view_.Home(page);
    }
    if (url == "/auditoria") {
        return view_.AuditPage(page);
    }
    if (url == "/alertas") {
        return view_.AlertsPage(page);
    }
    if (url == "/estilo.css") {
        return WebView::Stylesheet();
    }
    if (url == "/favicon.ico" || url == "/icone.svg") {
        return WebView::Icon();
    }
    if (const auto serial = IdIn(url, "/cards/")) {
        return *serial > 0xFFFFFF ? WebView::NotFound()
                                  : view_.CardPage(static_cast<long>(*serial), page);
    }
    if (const auto id = IdIn(url, "/uploads/", ".csv")) {
        return view_.UploadCsv(*id);
    }
    if (const auto id = IdIn(url, "/uploads/")) {
        return view_.UploadPage(*id, page);
    }
    return WebView::NotFound();
}

WebResponse WebServer::RouteApi(MHD_Connection* connection, std::string_view path) {
    const std::optional<long long> page = PageOf(connection);
    if (!page) {
        return WebView::ApiError(400, "Número de página inválido: pagina vai de 1 em diante.");
    }
    if (path == "/cards") {
        return view_.ApiCards(*page);
    }
    if (const auto serial = IdIn(path, "/cards/"); serial && *serial <= 0xFFFFFF) {
        return view_.ApiCard(static_cast<long>(*serial), *page);
    }
    if (const auto id = IdIn(path, "/uploads/")) {
        return view_.ApiUpload(*id);
    }
    return WebView::ApiError(404, "Não há nada neste endereço.");
}

bool WebServer::Admitted(MHD_Connection* connection, const char* authorization,
                         WebResponse* refusal) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    const std::string address =
        info != nullptr && info->client_addr != nullptr ? AddressText(*info->client_addr) : "";
    const auto now = LoginThrottle::Clock::now();
    if (!throttle_.Allowed(address, now)) {
        *refusal = WebView::TooManyTries();
        return false;
    }
    LoginAttempt attempt;
    const bool admitted = auth_.Check(authorization != nullptr ? authorization : "", &attempt);
    // A browser asks first without a password, and then sends the same one with every
    // request: a login is a password tried and not remembered.
    if (authorization != nullptr && !attempt.remembered) {
        store_.RecordLogin({UtcText(std::time(nullptr)),
                            CleanText(attempt.user.substr(0, LOGIN_USER_MAX)), address, admitted});
    }
    if (admitted) {
        return true;
    }
    if (authorization != nullptr) {
        throttle_.Failed(address, now);
    }
    *refusal = WebView::Unauthorized();
    return false;
}

bool WebServer::Answer(MHD_Connection* connection, const char* url, const char* method) {
    const std::string_view verb = method;
    const char* length =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    const bool has_body = (length != nullptr && std::string_view(length) != "0") ||
                          MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                      MHD_HTTP_HEADER_TRANSFER_ENCODING) != nullptr;
    WebResponse page;
    std::vector<std::pair<const char*, std::string>> headers;
    if (verb != "GET" && verb != "HEAD") {
        page = {405, "text/plain; charset=utf-8", "Somente leitura.\n", ""};
        headers.emplace_back("Allow", "GET, HEAD");
    } else if (const char* authorization = MHD_lookup_connection_value(
                   connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
               need_password_ && !Admitted(connection, authorization, &page)) {
        if (page.status == 401) {
            headers.emplace_back("WWW-Authenticate",
                                 "Basic realm=\"RazuRozavi\", charset=\"UTF-8\"");
        } else {
            headers.emplace_back("Retry-After", std::to_string(LOGIN_WINDOW.count()));
        }
    } else {
        const auto start = std::chrono::steady_clock::now();
        page = Route(connection, url);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        headers.emplace_back("Server-Timing", "app;dur=" + FixedText(ms, 2));
    }
    if (!page.download_name.empty()) {
        headers.emplace_back("Content-Disposition",
                             "attachment; filename=\"" + page.download_name + "\"");
    }
    if (has_body) {
        headers.emplace_back("Connection", "close");
    }
    MHD_Response* response =
        MHD_create_response_from_buffer(page.body.size(), page.body.data(), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return false;
    }
    for (const auto& [name, value] : kSecurityHeaders) {
        MHD_add_response_header(response, name, value);
    }
    if (Tls()) {
        MHD_add_response_header(response, "Strict-Transport-Security", kStrictTransport);
    }
    MHD_add_response_header(response, "Content-Type", page.content_type.c_str());
    for (const auto& [name, value] : headers) {
        MHD_add_response_header(response, name, value.c_str());
    }
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(page.status), response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
}

void WebServer::Serve() {
    std::unique_lock lock(state_mutex_);
    stopped_.wait(lock, [this] { return stopping_ || daemon_ == nullptr; });
}

void WebServer::Stop() {
    MHD_Daemon* daemon = nullptr;
    {
        std::lock_guard lock(state_mutex_);
        stopping_ = true;
        std::swap(daemon, daemon_);
    }
    stopped_.notify_all();
    if (daemon != nullptr) {
        MHD_stop_daemon(daemon);
    }
}
