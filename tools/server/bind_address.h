#pragma once
// The address a listening port binds to, resolved once for the upload port and the web view.

#include <netdb.h>

#include <memory>
#include <string>

using ResolvedAddress = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;

// The first address `host` names for a passive TCP socket on `port`; null with `error` set
// when it names none.
ResolvedAddress ResolveBindAddress(const std::string& host, int port, std::string* error);
