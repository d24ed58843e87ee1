// SPDX-License-Identifier: MIT
// The socket address of an IPv4 or IPv6 literal and a port, for the simulator's listener and the
// raw clients of its tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>

namespace ksim {

// Fills `storage` and returns its size; 0 when `address` is neither an IPv4 nor an IPv6 literal.
inline socklen_t socket_address(const std::string& address, std::uint16_t port,
                                sockaddr_storage& storage) {
    storage = {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        return sizeof *v4;
    }
    if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        return sizeof *v6;
    }
    return 0;
}

}  // namespace ksim
