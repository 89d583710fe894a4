#include "web_auth.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstring>
#include <fstream>
#include <memory>

namespace {

// Remembered credentials at most; forgotten all at once when full.
constexpr std::size_t ACCEPTED_MAX = 256;
// The longest Authorization value looked at.
constexpr std::size_t AUTHORIZATION_MAX = 4096;

std::string Crypt(const std::string& phrase, const std::string& setting) {
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof(crypt_data));
    const char* hashed = crypt_rn(phrase.c_str(), setting.c_str(), data.get(), sizeof(crypt_data));
    // crypt_rn gives nothing, or a string starting with '*', when it fails.
    return hashed != nullptr && hashed[0] != '*' ? hashed : "";
}

std::array<unsigned char, 32> Digest(std::string_view text) {
    std::array<unsigned char, 32> digest{};
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_sha256(), nullptr);
    return digest;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

}  // namespace

std::string DecodeBasic(std::string_view authorization) {
    constexpr std::string_view kScheme = "Basic ";
    if (authorization.size() > AUTHORIZATION_MAX || authorization.size() <= kScheme.size() ||
        strncasecmp(authorization.data(), kScheme.data(), kScheme.size()) != 0) {
        return "";
    }
    std::string_view encoded = authorization.substr(kScheme.size());
    while (!encoded.empty() && encoded.front() == ' ') {
        encoded.remove_prefix(1);
    }
    while (!encoded.empty() && encoded.back() == '=') {
        encoded.remove_suffix(1);
    }
    std::string decoded;
    unsigned bits = 0;
    int count = 0;
    for (const char c : encoded) {
        const int value = Base64Value(c);
        if (value < 0) {
            return "";
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            decoded += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return decoded;
}

bool WebAuth::Load(const std::string& path, std::string* error) {
    std::ifstream file(path);
    if (!file) {
        *error = "cannot read the password file " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t colon = line.find(':');
        const std::string where = path + " line " + std::to_string(number);
        if (colon == 0 || colon == std::string::npos) {
            *error = where + ": not user:HASH";
            return false;
        }
        const std::string user = line.substr(0, colon);
        const std::string hash = line.substr(colon + 1);
        // A crypt(3) hash names its method ("$y$", "$6$", "$2b$", ...).
        // A whole hash hashes a phrase into one of its own length and setting; a cut or
        // damaged one would let no password in, with no word why.
        const std::size_t setting_end = hash.rfind('$');
        const std::string again = Crypt("razurozavi", hash);
        if (hash.size() < 13 || hash[0] != '$' || setting_end == 0 ||
            setting_end == std::string::npos || again.size() != hash.size() ||
            again.compare(0, setting_end + 1, hash, 0, setting_end + 1) != 0) {
            *error = where + ": the password must be a crypt(3) hash (make it with mkpasswd)";
            return false;
        }
        users_[user] = hash;
    }
    if (users_.empty()) {
        *error = path + " names no user";
        return false;
    }
    return true;
}

bool WebAuth::Verify(const std::string& user, const std::string& password) {
    const auto found = users_.find(user);
    // An unknown user costs the same hash as a known one.
    const std::string& hash = found != users_.end() ? found->second : users_.begin()->second;
    const std::string computed = Crypt(password, hash);
    const bool same = computed.size() == hash.size() &&
                      CRYPTO_memcmp(computed.data(), hash.data(), hash.size()) == 0;
    return same && found != users_.end();
}

bool WebAuth::Check(std::string_view authorization, LoginAttempt* attempt) {
    const std::string credentials = DecodeBasic(authorization);
    const std::size_t colon = credentials.find(':');
    if (attempt != nullptr) {
        attempt->user = credentials.substr(0, colon);
    }
    // crypt(3) would stop at a NUL and take what comes before it for the password.
    if (colon == std::string::npos || users_.empty() ||
        credentials.find('\0') != std::string::npos) {
        return false;
    }
    const std::array<unsigned char, 32> digest = Digest(credentials);
    {
        std::lock_guard lock(mutex_);
        if (accepted_.count(digest) != 0) {
            if (attempt != nullptr) {
                attempt->remembered = true;
            }
            return true;
        }
    }
    if (!Verify(credentials.substr(0, colon), credentials.substr(colon + 1))) {
        return false;
    }
    std::lock_guard lock(mutex_);
    if (accepted_.size() >= ACCEPTED_MAX) {
        accepted_.clear();
    }
    accepted_.insert(digest);
    return true;
}

bool LoginThrottle::Allowed(const std::string& address, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    const auto found = failures_.find(address);
    if (found == failures_.end()) {
        return true;
    }
    std::deque<Clock::time_point>& times = found->second;
    while (!times.empty() && now - times.front() >= LOGIN_WINDOW) {
        times.pop_front();
    }
    if (times.empty()) {
        failures_.erase(found);
        return true;
    }
    return static_cast<int>(times.size()) < LOGIN_FAILURES_ALLOWED;
}

void LoginThrottle::Failed(const std::string& address, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (failures_.size() >= LOGIN_ADDRESSES_MAX && failures_.count(address) == 0) {
        std::erase_if(failures_, [&](const auto& entry) {
            return entry.second.empty() || now - entry.second.back() >= LOGIN_WINDOW;
        });
        if (failures_.size() >= LOGIN_ADDRESSES_MAX) {
            failures_.clear();
        }
    }
    std::deque<Clock::time_point>& times = failures_[address];
    times.push_back(now);
    if (static_cast<int>(times.size()) > LOGIN_FAILURES_ALLOWED) {
        times.pop_front();
    }
}
