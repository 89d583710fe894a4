#include "collection_server.h"

#include "bind_address.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <tuple>
#include <unordered_map>

#include "log_limit.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int LISTEN_BACKLOG = 1024;
constexpr int MAX_EVENTS = 256;
// The longest the loop sleeps without looking at the deadlines.
constexpr int MAX_WAIT_MS = 1000;
// Deadlines are looked at no more often than this: going through thousands of connections
// at every event would make each event cost thousands.
constexpr int SWEEP_MS = 20;
// Uploads stored in one transaction at most.
constexpr std::size_t STORE_BATCH_MAX = 64;
// A reply that cannot be sent within this time ends the connection.
constexpr int SEND_TIMEOUT_MS = 10000;
// A refused client may still send this long, and this much, before the connection closes.
constexpr int DRAIN_MS = 1600;
constexpr std::size_t DRAIN_BYTES = 8 * MAX_PACKET_SIZE;
constexpr std::size_t RECEIVE_CHUNK = 65536;
// How long the listener rests when the process is out of descriptors.
constexpr int ACCEPT_PAUSE_MS = 100;

// Tags of the two pipes among the connections' descriptors in epoll.
constexpr std::uint64_t TAG_LISTENER = 0;
constexpr std::uint64_t TAG_STOP = 1;
constexpr std::uint64_t TAG_STORED = 2;
constexpr std::uint64_t FIRST_CONNECTION = 3;

std::string PeerAddress(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text,
                  sizeof text);
    } else if (address.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
                  sizeof text);
    }
    return text;
}

void Log(const std::string& line) {
    static std::mutex mutex;
    static LogLimit limit;
    const std::lock_guard lock(mutex);
    for (const std::string& printed : limit.Admit(line, Clock::now())) {
        std::fprintf(stderr, "%s\n", printed.c_str());
    }
}

// Hundreds of idle clients need hundreds of descriptors: take all the system allows.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Sends what `out` holds and erases what went: 0 when all went, else the errno of the
// send that stopped (EAGAIN: the socket is full, try again when writable).
int SendPending(int fd, std::vector<std::uint8_t>& out) {
    while (!out.empty()) {
        const ssize_t sent = send(fd, out.data(), out.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0) {
            return errno == EWOULDBLOCK ? EAGAIN : errno;
        }
        out.erase(out.begin(), out.begin() + sent);
    }
    return 0;
}

struct Connection {
    Connection(SocketHandle s, std::string peer, Clock::time_point now)
        : socket(std::move(s)),
          session(std::move(peer), Log),
          accepted(now),
          last_heard(now),
          last_progress(now) {}
    SocketHandle socket;
    UploadSession session;
    Clock::time_point accepted;
    Clock::time_point last_heard;
    Clock::time_point last_progress;  // when the session last took a whole message
    Clock::time_point send_since{};   // when the unsent reply started waiting
    bool storing = false;
    bool draining = false;  // refused: sending is over, the rest of the input is discarded
    Clock::time_point drain_until{};
    std::size_t drained = 0;
    bool want_write = false;
};

}  // namespace

CollectionServer::CollectionServer(UploadStore& store, ServerOptions options)
    : store_(store), options_(std::move(options)) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        stop_read_.Reset(fds[0]);
        stop_write_.Reset(fds[1]);
    }
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        stored_read_.Reset(fds[0]);
        stored_write_.Reset(fds[1]);
    }
}

CollectionServer::~CollectionServer() {
    Stop();
    {
        std::lock_guard lock(jobs_mutex_);
        stopping_ = true;
    }
    jobs_ready_.notify_all();
    if (storer_.joinable()) {
        storer_.join();
    }
}

bool CollectionServer::Listen(std::string* error) {
    if (!stop_read_.Valid() || !stored_read_.Valid()) {
        *error = "cannot create a pipe";
        return false;
    }
    RaiseDescriptorLimit();
    const ResolvedAddress addresses =
        ResolveBindAddress(options_.bind_address, options_.port, error);
    if (!addresses) {
        return false;
    }
    const addrinfo* found = addresses.get();
    SocketHandle s(socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const int yes = 1;
    if (!s.Valid() || setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        bind(s.Get(), found->ai_addr, found->ai_addrlen) != 0 ||
        listen(s.Get(), LISTEN_BACKLOG) != 0) {
        *error =
            "cannot listen on " + options_.bind_address + " port " + std::to_string(options_.port);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(s.Get(), reinterpret_cast<sockaddr*>(&bound), &length);
    port_ =
        ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(bound).sin6_port
                                          : reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    listener_ = std::move(s);
    return true;
}

void CollectionServer::Stop() {
    const char byte = 1;
    if (stop_write_.Valid()) {
        [[maybe_unused]] const ssize_t written = write(stop_write_.Get(), &byte, 1);
    }
}

void CollectionServer::StoreLoop() {
    for (;;) {
        // Every upload waiting goes into one transaction: one sync of the disk for all.
        std::vector<StoreJob> jobs;
        {
            std::unique_lock lock(jobs_mutex_);
            jobs_ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) {
                return;
            }
            while (!jobs_.empty() && jobs.size() < STORE_BATCH_MAX) {
                jobs.push_back(std::move(jobs_.front()));
                jobs_.pop_front();
            }
        }
        std::vector<UploadToStore> uploads;
        uploads.reserve(jobs.size());
        for (StoreJob& job : jobs) {
            uploads.push_back(
                {std::move(job.peer), std::move(job.header), std::move(job.readings)});
        }
        const std::vector<StoreOutcome> outcomes = store_.StoreAll(uploads);
        {
            std::lock_guard lock(jobs_mutex_);
            for (std::size_t k = 0; k < jobs.size(); ++k) {
                results_.push_back({jobs[k].connection, outcomes[k].stored, outcomes[k].why});
            }
        }
        // A full pipe already holds a wake-up; anything else leaves the replies waiting.
        const char byte = 1;
        if (write(stored_write_.Get(), &byte, 1) < 0 && errno != EAGAIN) {
            Log(std::string("cannot wake the connections after a store: ") + std::strerror(errno));
        }
    }
}

class CollectionServer::Loop {
  public:
    Loop(CollectionServer& server, int epoll) : server_(server), epoll_(epoll) {}

    // Until the stop pipe is written.
    void Run();

  private:
    bool Watch(int op, int fd, std::uint32_t events, std::uint64_t tag);
    using Connections = std::unordered_map<std::uint64_t, Connection>;
    void Close(std::uint64_t tag);
    Connections::iterator Erase(Connections::iterator it);
    bool Flush(std::uint64_t tag, Connection& c, Clock::time_point now);
    void Advance(std::uint64_t tag, Connection& c, Clock::time_point now);
    void Receive(std::uint64_t tag, Connection& c, Clock::time_point now);
    bool MakeRoom(const std::string& newcomer);
    void AcceptAll(Clock::time_point now);
    void TakeStoreResults(Clock::time_point now);
    Clock::time_point Deadline(const Connection& c) const;
    // Sooner deadlines than the next sweep's are noted as connections change.
    void Schedule(const Connection& c) { sweep_at_ = std::min(sweep_at_, Deadline(c)); }
    // Drops the connections past their deadline; when the next one falls due.
    Clock::time_point DropLate(Clock::time_point now);

    CollectionServer& server_;
    const int epoll_;
    Connections connections_;
    std::unordered_map<std::string, int> per_peer_;  // connections held by each address
    std::uint64_t next_tag_ = FIRST_CONNECTION;
    std::vector<std::uint8_t> chunk_ = std::vector<std::uint8_t>(RECEIVE_CHUNK);
    bool listening_ = true;
    Clock::time_point listen_again_{};
    Clock::time_point sweep_at_{};
};

void CollectionServer::Loop::Close(std::uint64_t tag) {
    const auto found = connections_.find(tag);
    if (found != connections_.end()) {
        Erase(found);
    }
}

CollectionServer::Loop::Connections::iterator CollectionServer::Loop::Erase(
    Connections::iterator it) {
    const auto held = per_peer_.find(it->second.session.Peer());
    if (held != per_peer_.end() && --held->second == 0) {
        per_peer_.erase(held);
    }
    return connections_.erase(it);
}

bool CollectionServer::Loop::Watch(int op, int fd, std::uint32_t events, std::uint64_t tag) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = tag;
    return epoll_ctl(epoll_, op, fd, &event) == 0;
}

// Sends what is pending; false when the connection is over.
bool CollectionServer::Loop::Flush(std::uint64_t tag, Connection& c, Clock::time_point now) {
    const int failed = SendPending(c.socket.Get(), c.session.Output());
    if (failed == EAGAIN) {
        if (!c.want_write) {
            c.want_write = true;
            c.send_since = now;
            Schedule(c);
            Watch(EPOLL_CTL_MOD, c.socket.Get(), EPOLLIN | EPOLLOUT, tag);
        }
        return true;
    }
    if (failed != 0) {
        Log("dropped " + c.session.Peer() + ": cannot send: " + std::strerror(failed));
        return false;
    }
    if (c.want_write) {
        c.want_write = false;
        Watch(EPOLL_CTL_MOD, c.socket.Get(), EPOLLIN, tag);
    }
    if (c.session.Finished() && !c.draining) {
        if (!c.session.Rejected()) {
            return false;
        }
        // Closing with unread input would reset the connection and could lose the
        // "ee" on its way: stop sending and let the client's rest arrive first.
        shutdown(c.socket.Get(), SHUT_WR);
        c.draining = true;
        c.drain_until = now + std::chrono::milliseconds(DRAIN_MS);
        Schedule(c);
    }
    return true;
}

// After input or a store result: hands a whole upload to the store, sends replies.
void CollectionServer::Loop::Advance(std::uint64_t tag, Connection& c, Clock::time_point now) {
    if (c.session.WantsStore() && !c.storing) {
        c.storing = true;
        {
            std::lock_guard lock(server_.jobs_mutex_);
            server_.jobs_.push_back(
                {tag, c.session.Peer(), c.session.Header(), c.session.Readings()});
        }
        server_.jobs_ready_.notify_one();
    }
    if (!Flush(tag, c, now)) {
        Close(tag);
    }
}

void CollectionServer::Loop::Receive(std::uint64_t tag, Connection& c, Clock::time_point now) {
    const std::size_t messages = c.session.MessagesTaken();
    for (;;) {
        const ssize_t got = recv(c.socket.Get(), chunk_.data(), chunk_.size(), 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        if (got <= 0) {
            return Close(tag);
        }
        c.last_heard = now;
        if (c.draining) {
            c.drained += static_cast<std::size_t>(got);
            if (c.drained > DRAIN_BYTES) {
                return Close(tag);
            }
            continue;
        }
        c.session.Receive(std::span(chunk_).first(static_cast<std::size_t>(got)));
        if (c.session.WantsStore() || c.session.Finished()) {
            break;
        }
        if (static_cast<std::size_t>(got) < chunk_.size()) {
            break;
        }
    }
    if (c.session.MessagesTaken() != messages) {
        c.last_progress = now;
    }
    if (!c.draining) {
        Advance(tag, c, now);
    }
}

// Room for a newcomer: the oldest connection that has not shown a valid header goes;
// else the address holding the most connections (the newcomer's own on a tie) gives up
// the one whose upload moved least recently. An upload being stored is never dropped.
bool CollectionServer::Loop::MakeRoom(const std::string& newcomer) {
    auto oldest = connections_.end();
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        if (!it->second.session.HasHeader() &&
            (oldest == connections_.end() || it->second.accepted < oldest->second.accepted)) {
            oldest = it;
        }
    }
    if (oldest != connections_.end()) {
        Log("dropped " + oldest->second.session.Peer() + ": no header, room needed");
        Erase(oldest);
        return true;
    }
    const auto own = per_peer_.find(newcomer);
    std::string hog = newcomer;
    int most = own != per_peer_.end() ? own->second : 0;
    for (const auto& [peer, held] : per_peer_) {
        if (held > most) {
            hog = peer;
            most = held;
        }
    }
    auto slowest = connections_.end();
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        const Connection& c = it->second;
        if (!c.storing && c.session.Peer() == hog &&
            (slowest == connections_.end() || c.last_progress < slowest->second.last_progress)) {
            slowest = it;
        }
    }
    if (slowest == connections_.end()) {
        return false;
    }
    Log("dropped " + hog + ": its least moving upload, room needed");
    Erase(slowest);
    return true;
}

void CollectionServer::Loop::AcceptAll(Clock::time_point now) {
    for (;;) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        SocketHandle s(accept4(server_.listener_.Get(), reinterpret_cast<sockaddr*>(&address),
                               &length, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!s.Valid()) {
            if (errno == EMFILE || errno == ENFILE) {
                // Out of descriptors: a client without a header gives its own up; else
                // the listener rests, rather than waking the loop again at once.
                if (!MakeRoom("") && listening_) {
                    epoll_ctl(epoll_, EPOLL_CTL_DEL, server_.listener_.Get(), nullptr);
                    listening_ = false;
                    listen_again_ = now + std::chrono::milliseconds(ACCEPT_PAUSE_MS);
                }
            }
            return;
        }
        const std::string peer = PeerAddress(address);
        if (static_cast<int>(connections_.size()) >= server_.options_.max_connections &&
            !MakeRoom(peer)) {
            Log("refused " + peer + ": too many connections");
            continue;
        }
        const std::uint64_t tag = next_tag_++;
        const int fd = s.Get();
        connections_.emplace(std::piecewise_construct, std::forward_as_tuple(tag),
                             std::forward_as_tuple(std::move(s), peer, now));
        ++per_peer_[peer];
        Schedule(connections_.at(tag));
        if (!Watch(EPOLL_CTL_ADD, fd, EPOLLIN, tag)) {
            Close(tag);
        }
    }
}

void CollectionServer::Loop::TakeStoreResults(Clock::time_point now) {
    char drain[64];
    while (read(server_.stored_read_.Get(), drain, sizeof drain) > 0) {
    }
    std::vector<StoreResult> results;
    {
        std::lock_guard lock(server_.jobs_mutex_);
        results.swap(server_.results_);
    }
    for (const StoreResult& result : results) {
        const auto found = connections_.find(result.connection);
        if (found != connections_.end()) {
            found->second.session.Stored(result.stored, result.why);
            found->second.last_heard = now;
            Advance(result.connection, found->second, now);
        }
    }
}

Clock::time_point CollectionServer::Loop::Deadline(const Connection& c) const {
    if (c.draining) {
        return c.drain_until;
    }
    if (c.want_write) {
        return c.send_since + std::chrono::milliseconds(SEND_TIMEOUT_MS);
    }
    if (c.storing) {
        return Clock::time_point::max();
    }
    Clock::time_point at =
        c.last_heard + std::chrono::milliseconds(server_.options_.idle_timeout_ms);
    if (!c.session.HasHeader()) {
        at = std::min(at,
                      c.accepted + std::chrono::milliseconds(server_.options_.header_timeout_ms));
    }
    return at;
}

Clock::time_point CollectionServer::Loop::DropLate(Clock::time_point now) {
    Clock::time_point next = now + std::chrono::milliseconds(MAX_WAIT_MS);
    for (auto it = connections_.begin(); it != connections_.end();) {
        const Clock::time_point due = Deadline(it->second);
        if (due <= now) {
            if (!it->second.draining) {
                Log("dropped " + it->second.session.Peer() +
                    (it->second.session.HasHeader() ? ": silent too long"
                                                    : ": no valid header in time"));
            }
            it = Erase(it);
        } else {
            next = std::min(next, due);
            ++it;
        }
    }
    return next;
}

void CollectionServer::Loop::Run() {
    Watch(EPOLL_CTL_ADD, server_.listener_.Get(), EPOLLIN, TAG_LISTENER);
    Watch(EPOLL_CTL_ADD, server_.stop_read_.Get(), EPOLLIN, TAG_STOP);
    Watch(EPOLL_CTL_ADD, server_.stored_read_.Get(), EPOLLIN, TAG_STORED);
    std::vector<epoll_event> events(MAX_EVENTS);
    for (;;) {
        if (!listening_ && Clock::now() >= listen_again_) {
            listening_ = Watch(EPOLL_CTL_ADD, server_.listener_.Get(), EPOLLIN, TAG_LISTENER);
        }
        Clock::time_point soonest = sweep_at_;
        if (!listening_) {
            soonest = std::min(soonest, listen_again_);
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(soonest - Clock::now());
        const int ready = epoll_wait(epoll_, events.data(), MAX_EVENTS,
                                     static_cast<int>(std::max<long long>(0, wait.count())));
        const Clock::time_point now = Clock::now();
        for (int k = 0; k < ready; ++k) {
            const std::uint64_t tag = events[k].data.u64;
            if (tag == TAG_STOP) {
                return;
            }
            if (tag == TAG_LISTENER) {
                AcceptAll(now);
                continue;
            }
            if (tag == TAG_STORED) {
                TakeStoreResults(now);
                continue;
            }
            const auto found = connections_.find(tag);
            if (found == connections_.end()) {
                continue;
            }
            Connection& c = found->second;
            if ((events[k].events & EPOLLOUT) != 0 && !Flush(tag, c, now)) {
                Close(tag);
                continue;
            }
            if ((events[k].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) {
                Receive(tag, c, now);
            }
        }
        if (now >= sweep_at_) {
            sweep_at_ = std::max(DropLate(now), now + std::chrono::milliseconds(SWEEP_MS));
        }
    }
}

void CollectionServer::Serve() {
    const SocketHandle epoll(epoll_create1(EPOLL_CLOEXEC));
    if (!epoll.Valid()) {
        Log(std::string("cannot create an epoll instance: ") + std::strerror(errno));
        return;
    }
    if (!storer_.joinable()) {
        storer_ = std::thread([this] { StoreLoop(); });
    }
    Loop(*this, epoll.Get()).Run();
}
