// SPDX-License-Identifier: MIT
// The address the library connects to for a host, so that two spellings of one meter
// ("localhost" and "127.0.0.1", "::1" and "0::1") are known as one.
#pragma once

#include <optional>
#include <string>

namespace kcli {

struct ConnectedAddress {
    int family;         // AF_INET or AF_INET6
    std::string bytes;  // the address in network order: 4 or 16 bytes
};

// Follows the library's rule for the address it connects to (socket_address in
// src/modbus/client.cpp): an IPv6 literal as written, an IPv4 literal, otherwise the name's
// first IPv4 address; keep the two alike. An IPv4-mapped IPv6 address is the IPv4
// address it reaches. Nothing when the name does not resolve (the connection fails then too).
std::optional<ConnectedAddress> connected_address(const std::string& host);

}  // namespace kcli
