#include "cloud/socket_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

SocketHandle& SocketHandle::operator=(SocketHandle&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

int SocketHandle::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void SocketHandle::Reset(int fd) {
    if (fd_ >= 0) {
        close(fd_);
    }
    fd_ = fd;
}

// poll() for `events` on fd until the deadline, restarting after signals.
static bool WaitFor(int fd, short events, int timeout_ms, int stop_fd) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int wait_ms =
            timeout_ms < 0 ? -1 : static_cast<int>(std::max<long long>(0, left.count()));
        pollfd fds[2] = {{fd, events, 0}, {stop_fd, POLLIN, 0}};
        const int ready = poll(fds, stop_fd >= 0 ? 2 : 1, wait_ms);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (stop_fd >= 0 && fds[1].revents != 0)) {
            return false;
        }
        return fds[0].revents != 0;
    }
}

bool WaitReadable(int fd, int timeout_ms, int stop_fd) {
    return WaitFor(fd, POLLIN, timeout_ms, stop_fd);
}

bool ConnectWithin(int fd, const sockaddr* address, socklen_t length, int timeout_ms) {
    if (connect(fd, address, length) == 0) {
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return false;
    }
    if (!WaitFor(fd, POLLOUT, timeout_ms, -1)) {
        return false;
    }
    int error = 0;
    socklen_t error_length = sizeof error;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &error_length) == 0 && error == 0;
}

std::error_code SendAll(int fd, std::span<const std::uint8_t> bytes, int timeout_ms) {
    while (!bytes.empty()) {
        // A peer that hung up or reset shows as an error event; the send below names it.
        if (!WaitFor(fd, POLLOUT, timeout_ms, -1)) {
            return std::make_error_code(std::errc::timed_out);
        }
        const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                continue;
            }
            return std::error_code(errno, std::system_category());
        }
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
    return {};
}

ssize_t ReceiveOnce(int fd, std::span<std::uint8_t> buffer, int timeout_ms, int stop_fd) {
    for (;;) {
        if (!WaitFor(fd, POLLIN, timeout_ms, stop_fd)) {
            return -1;
        }
        const ssize_t received = recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (received < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        return received;
    }
}
