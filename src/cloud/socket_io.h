#pragma once
// The few socket calls the upload and the collection server share: whole sends that
// never raise SIGPIPE, and receives bounded in time.

#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <system_error>

// Closes the descriptor it holds on every exit path.
class SocketHandle {
  public:
    SocketHandle() = default;
    explicit SocketHandle(int fd) : fd_(fd) {}
    SocketHandle(SocketHandle&& other) noexcept : fd_(other.Release()) {}
    SocketHandle& operator=(SocketHandle&& other) noexcept;
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;
    ~SocketHandle() { Reset(); }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();
    void Reset(int fd = -1);

  private:
    int fd_ = -1;
};

// Waits up to timeout_ms for `fd` to become readable; also wakes (returning false)
// when `stop_fd` (-1 for none) becomes readable.
bool WaitReadable(int fd, int timeout_ms, int stop_fd = -1);

// Connects the non-blocking socket `fd` within timeout_ms.
bool ConnectWithin(int fd, const sockaddr* address, socklen_t length, int timeout_ms);

// Sends every byte, waiting at most timeout_ms for room each time; otherwise why not:
// ETIMEDOUT, EPIPE or ECONNRESET for a closed peer, or the errno of the failed send.
std::error_code SendAll(int fd, std::span<const std::uint8_t> bytes, int timeout_ms);

// One receive of at most `buffer.size()` bytes within timeout_ms: the byte count, 0
// when the peer closed, -1 on an error or a time-out.
ssize_t ReceiveOnce(int fd, std::span<std::uint8_t> buffer, int timeout_ms, int stop_fd = -1);
