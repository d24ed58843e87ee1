// SPDX-License-Identifier: MIT
// "HOST[:PORT]" texts, as every command takes them: the meters of a command line or a hosts
// file, a probe's target, the exporter's listen address.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kcli {

// Modbus TCP's port, where a meter listens unless told otherwise.
inline constexpr int MODBUS_TCP_PORT = 502;

struct HostPort {
    std::string host;  // without brackets; may be empty (":PORT")
    std::string port;  // the digits as written; empty when the text names no port
};

// "HOST", "HOST:PORT", "[ADDRESS]" or "[ADDRESS]:PORT". An address with several colons and no
// brackets is an IPv6 address without a port. Nothing when malformed: an empty or unclosed
// bracket, anything after it but ":PORT", or a port that is not all digits.
std::optional<HostPort> split_host_port(std::string_view text);

// The port in `digits` when it lies in lowest-65535; nothing otherwise.
std::optional<int> port_number(std::string_view digits, int lowest = 1);

// The --listen address: "ADDR:PORT", or ":PORT" for 127.0.0.1, port 0-65535 (0: any free port).
// Nothing when malformed.
std::optional<std::pair<std::string, int>> parse_listen_address(std::string_view text);

// "HOST:PORT", bracketing an IPv6 address.
std::string join_host_port(const std::string& host, int port);

}  // namespace kcli
