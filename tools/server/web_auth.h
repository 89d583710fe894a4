#pragma once
// HTTP Basic for the web view: a password file of "user:HASH" lines, HASH a crypt(3)
// hash as mkpasswd makes it (yescrypt, SHA-512, bcrypt, ...), checked with libcrypt.
// A plain password is refused when the file is loaded. Successful checks are remembered
// (as SHA-256 digests of the credentials, never the credentials) so that a browser's
// every request does not pay for a slow hash again.

#include <array>
#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

// What one check saw: the user named, and whether the credentials were among those
// remembered (a browser asking again) rather than hashed now (a login).
struct LoginAttempt {
    std::string user;
    bool remembered = false;
};

class WebAuth {
  public:
    // Reads the password file; false with `error` set when it cannot be read or a line
    // is not "user:HASH" with a whole hash of a method libcrypt knows.
    bool Load(const std::string& path, std::string* error);
    // Whether the Authorization header's value names a user of the file with their
    // password. A password holding a NUL byte is no password of the file.
    bool Check(std::string_view authorization, LoginAttempt* attempt = nullptr);
    std::size_t Users() const { return users_.size(); }

  private:
    bool Verify(const std::string& user, const std::string& password);

    std::map<std::string, std::string> users_;
    std::mutex mutex_;
    std::set<std::array<unsigned char, 32>> accepted_;
};

// "Basic dXNlcjpwYXNz" to "user:pass"; empty when it is not that.
std::string DecodeBasic(std::string_view authorization);

// Failed logins, per client address: after LOGIN_FAILURES_ALLOWED within LOGIN_WINDOW,
// that address is refused until its oldest failure leaves the window. Other addresses,
// the rightful user's among them, are not slowed.
constexpr int LOGIN_FAILURES_ALLOWED = 5;
constexpr std::chrono::seconds LOGIN_WINDOW{60};
// Addresses remembered at most; those without a recent failure are forgotten first.
constexpr std::size_t LOGIN_ADDRESSES_MAX = 10000;

class LoginThrottle {
  public:
    using Clock = std::chrono::steady_clock;
    bool Allowed(const std::string& address, Clock::time_point now);
    void Failed(const std::string& address, Clock::time_point now);

  private:
    std::mutex mutex_;
    std::unordered_map<std::string, std::deque<Clock::time_point>> failures_;
};
