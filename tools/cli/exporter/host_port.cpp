// SPDX-License-Identifier: MIT
#include "host_port.hpp"

#include <charconv>

namespace kexp {
namespace {

std::optional<int> parse_port(std::string_view text) {
    int port = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || text.size() > 5 || ec != std::errc() || end != text.data() + text.size() ||
        port < 0 || port > 65535)
        return std::nullopt;
    return port;
}

}  // namespace

std::optional<HostPort> split_host_port(std::string_view text) {
    HostPort result;
    std::string_view rest;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        result.host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) return std::nullopt;
    } else {
        const std::size_t colon = text.find(':');
        result.host = text.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view{} : text.substr(colon);
    }
    if (!rest.empty()) {
        result.port = parse_port(rest.substr(1));
        if (!result.port) return std::nullopt;
    }
    return result;
}

std::optional<HostPort> parse_listen_address(std::string_view text) {
    std::optional<HostPort> address = split_host_port(text);
    if (!address || !address->port) return std::nullopt;
    if (address->host.empty()) address->host = "127.0.0.1";
    return address;
}

std::string join_host_port(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace kexp
