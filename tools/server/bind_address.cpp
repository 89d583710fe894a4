#include "bind_address.h"

ResolvedAddress ResolveBindAddress(const std::string& host, int port, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved != 0 || found == nullptr) {
        *error = "cannot resolve " + host + ": " + gai_strerror(resolved);
        return {nullptr, freeaddrinfo};
    }
    return {found, freeaddrinfo};
}
