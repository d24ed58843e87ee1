// SPDX-License-Identifier: MIT
#include "common/connected_address.hpp"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace kcli {
namespace {

template <typename Address>
std::string bytes_of(const Address& address) {
    return {reinterpret_cast<const char*>(&address), sizeof address};
}

}  // namespace

std::optional<ConnectedAddress> connected_address(const std::string& host) {
    in6_addr v6{};
    if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        if (!IN6_IS_ADDR_V4MAPPED(&v6)) return ConnectedAddress{AF_INET6, bytes_of(v6)};
        // ::ffff:a.b.c.d: the last four bytes are the IPv4 address
        return ConnectedAddress{AF_INET, bytes_of(v6).substr(12)};
    }
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return ConnectedAddress{AF_INET, bytes_of(v4)};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        if (found != nullptr) ::freeaddrinfo(found);
        return std::nullopt;
    }
    v4 = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return ConnectedAddress{AF_INET, bytes_of(v4)};
}

}  // namespace kcli
