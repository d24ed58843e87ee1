// SPDX-License-Identifier: MIT
#include "common/host_port.hpp"

#include <charconv>

namespace kcli {
namespace {

bool all_digits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::optional<HostPort> split_host_port(std::string_view text) {
    HostPort result;
    std::string_view rest;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close == 1) return std::nullopt;
        result.host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) return std::nullopt;
    } else {
        const std::size_t colon = text.find(':');
        const bool v6 =
            colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos;
        if (colon == std::string_view::npos || v6) {
            result.host = text;
            return result;
        }
        result.host = text.substr(0, colon);
        rest = text.substr(colon);
    }
    if (!rest.empty()) {
        result.port = rest.substr(1);
        if (!all_digits(result.port)) return std::nullopt;
    }
    return result;
}

std::optional<int> port_number(std::string_view digits, int lowest) {
    int port = -1;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (!all_digits(digits) || digits.size() > 5 || ec != std::errc() ||
        end != digits.data() + digits.size() || port < lowest || port > 65535)
        return std::nullopt;
    return port;
}

std::optional<std::pair<std::string, int>> parse_listen_address(std::string_view text) {
    const std::optional<HostPort> address = split_host_port(text);
    if (!address || address->port.empty()) return std::nullopt;
    const std::optional<int> port = port_number(address->port, 0);
    if (!port) return std::nullopt;
    return std::pair{address->host.empty() ? std::string("127.0.0.1") : address->host, *port};
}

std::string join_host_port(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace kcli
