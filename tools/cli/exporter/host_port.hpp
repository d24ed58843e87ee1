// SPDX-License-Identifier: MIT
// "HOST:PORT" texts: the exporter's listen address and a probe's target.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kexp {

struct HostPort {
    std::string host;
    std::optional<int> port;
};

// "HOST", "HOST:PORT" or "[IPv6]:PORT". Nullopt when the text is malformed; the port, when
// given, is 0-65535 and must be checked further by the caller.
std::optional<HostPort> split_host_port(std::string_view text);

// The --listen address: "ADDR:PORT", or ":PORT" for 127.0.0.1. Nullopt when malformed.
std::optional<HostPort> parse_listen_address(std::string_view text);

// "ADDR:PORT", bracketing an IPv6 address.
std::string join_host_port(const std::string& host, int port);

}  // namespace kexp
