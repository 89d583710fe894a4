#pragma once
// HTTP Basic for the web view: a password file of "user:HASH" lines, HASH a crypt(3)
// hash as mkpasswd makes it (yescrypt, SHA-512, bcrypt, ...), checked with libcrypt.
// A plain password is refused when the file is loaded. Successful checks are remembered
// (as SHA-256 digests of the credentials, never the credentials) so that a browser's
// every request does not pay for a slow hash again.

#include <array>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

class WebAuth {
  public:
    // Reads the password file; false with `error` set when it cannot be read or a line
    // is not "user:HASH" with a hash libcrypt knows.
    bool Load(const std::string& path, std::string* error);
    // Whether the Authorization header's value names a user of the file with their
    // password.
    bool Check(std::string_view authorization);
    std::size_t Users() const { return users_.size(); }

  private:
    bool Verify(const std::string& user, const std::string& password);

    std::map<std::string, std::string> users_;
    std::mutex mutex_;
    std::set<std::array<unsigned char, 32>> accepted_;
};

// "Basic dXNlcjpwYXNz" to "user:pass"; empty when it is not that.
std::string DecodeBasic(std::string_view authorization);
