// SPDX-License-Identifier: MIT
#include "exporter/target_policy.hpp"

#include "common/host_port.hpp"
#include "common/hosts_file.hpp"
#include "common/meter_options.hpp"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <stdexcept>

namespace kexp {
namespace {

using kcli::lower;

// The canonical model name, or empty for an unknown one.
std::string canonical_model(const std::string& name) {
    return kcli::known_model(name) ? kcli::canonical_model(name) : std::string();
}

// Host names and IPv4 addresses: letters, digits, dots, hyphens and underscores.
bool valid_host(const std::string& host) {
    return !host.empty() && host.size() <= 253 &&
           std::all_of(host.begin(), host.end(), [](unsigned char c) {
               return std::isalnum(c) || c == '.' || c == '-' || c == '_';
           });
}

// The IPv6 address in `text` in its one canonical form, nothing when `text` is none.
std::optional<std::string> canonical_ipv6(const std::string& text) {
    in6_addr address{};
    if (inet_pton(AF_INET6, text.c_str(), &address) != 1) return std::nullopt;
    char canonical[INET6_ADDRSTRLEN];
    return std::string(inet_ntop(AF_INET6, &address, canonical, sizeof canonical));
}

// The host as targets are compared: IPv6 addresses canonical, names in lower case, so that a
// target matches its hosts file line however either writes it.
std::string comparable_host(const std::string& host) {
    if (host.starts_with('/')) return host;  // a serial device's path
    return canonical_ipv6(host).value_or(lower(host));
}

// The single value of parameter `name`; a refusal when it is given more than once.
std::variant<std::optional<std::string>, Refusal> single(const QueryParams& params,
                                                         const std::string& name) {
    const auto [first, last] = params.equal_range(name);
    if (first == last) return std::optional<std::string>{};
    if (std::next(first) != last) return Refusal{400, name + " must be given once"};
    return std::optional<std::string>{first->second};
}

}  // namespace

std::string ProbeTarget::address() const {
    return host.starts_with('/') ? "rtu:" + host : kcli::join_host_port(host, port);
}

TargetPolicy::TargetPolicy(std::vector<kcli::HostEntry> listed, bool allow_any_target, int gap_ms)
    : listed_(std::move(listed)), allow_any_target_(allow_any_target), gap_ms_(gap_ms) {
    for (kcli::HostEntry& entry : listed_) {
        if (!entry.meter.empty() && canonical_model(entry.meter).empty())
            throw std::runtime_error("Unknown meter model '" + entry.meter + "' for " + entry.host +
                                     " in the hosts file (expected em133 or em235)");
        entry.host = comparable_host(entry.host);
        entry.meter = canonical_model(entry.meter);
    }
}

const kcli::HostEntry* TargetPolicy::listed(const ProbeTarget& target) const {
    const kcli::HostEntry* every_unit = nullptr;
    for (const kcli::HostEntry& entry : listed_) {
        if (entry.host != target.host ||
            entry.port.value_or(kcli::MODBUS_TCP_PORT) != target.port ||
            entry.line.rtu_over_tcp != target.line.rtu_over_tcp)
            continue;
        if (entry.unit == target.unit) return &entry;
        if (!entry.unit && !every_unit) every_unit = &entry;
    }
    return every_unit;
}

namespace {

// The unit= of a probe into `probe`; a refusal when it is no unit id.
std::optional<Refusal> take_unit(const std::optional<std::string>& unit_text, ProbeTarget& probe) {
    if (!unit_text) return std::nullopt;
    const char* end = unit_text->data() + unit_text->size();
    const auto parsed = std::from_chars(unit_text->data(), end, probe.unit);
    if (unit_text->empty() || parsed.ec != std::errc() || parsed.ptr != end || probe.unit < 0 ||
        probe.unit > 255)
        return Refusal{400, "unit must be 0-255"};
    return std::nullopt;
}

}  // namespace

std::variant<ProbeTarget, Refusal> TargetPolicy::resolve(const QueryParams& params) const {
    std::optional<std::string> values[3];
    const char* names[3] = {"target", "unit", "model"};
    for (int i = 0; i < 3; ++i) {
        auto value = single(params, names[i]);
        if (auto* refusal = std::get_if<Refusal>(&value)) return *refusal;
        values[i] = std::get<std::optional<std::string>>(value);
    }
    const auto& [target_text, unit_text, model_text] = values;

    if (!target_text) return Refusal{400, "target is required"};
    if (target_text->starts_with("rtu")) return resolve_rtu(*target_text, unit_text, model_text);
    const std::optional<kcli::HostPort> target = kcli::split_host_port(*target_text);
    const std::optional<int> port =
        target && !target->port.empty() ? kcli::port_number(target->port) : kcli::MODBUS_TCP_PORT;
    // Brackets hold an IPv6 address and nothing else; unbracketed, a colon can only start a port.
    const std::optional<std::string> host =
        !target                         ? std::nullopt
        : target_text->starts_with('[') ? canonical_ipv6(target->host)
        : valid_host(target->host)      ? std::optional(lower(target->host))
                                        : std::nullopt;
    if (!host || !port)
        return Refusal{400, "target must be HOST[:PORT] or [IPV6][:PORT] with a port of 1-65535"};

    ProbeTarget probe{*host, *port, 1, {}, {}, gap_ms_, {}};
    if (const auto refusal = take_unit(unit_text, probe)) return *refusal;
    return with_hosts_line(std::move(probe), model_text);
}

// A meter on an RS-485 line, "rtu:DEVICE" or "rtu+tcp://HOST[:PORT]", with its line's settings
// from the hosts file, which must list it: a scraper never picks a device to open.
std::variant<ProbeTarget, Refusal> TargetPolicy::resolve_rtu(
    const std::string& target_text, const std::optional<std::string>& unit_text,
    const std::optional<std::string>& model_text) const {
    kcli::HostEntry address;
    if (kcli::take_address(target_text, address) ||
        (!address.host.starts_with('/') && !valid_host(address.host)))
        return Refusal{400, "target must be rtu:DEVICE or rtu+tcp://HOST[:PORT]"};
    ProbeTarget probe{comparable_host(address.host),
                      address.port.value_or(kcli::MODBUS_TCP_PORT),
                      1,
                      {},
                      {},
                      gap_ms_,
                      address.line};
    if (const auto refusal = take_unit(unit_text, probe)) return *refusal;
    if (!listed(probe))
        return Refusal{403, "target " + target_text + " unit " + std::to_string(probe.unit) +
                                " is not in the hosts file: a meter on an RS-485 line is probed "
                                "only when listed"};
    return with_hosts_line(std::move(probe), model_text);
}

std::variant<ProbeTarget, Refusal> TargetPolicy::with_hosts_line(
    ProbeTarget probe, const std::optional<std::string>& model_text) const {
    std::string model;
    if (model_text) {
        model = canonical_model(*model_text);
        if (model.empty()) return Refusal{400, "model must be em133 or em235"};
    }
    const kcli::HostEntry* entry = listed(probe);
    if (!entry && !allow_any_target_)
        return Refusal{403, "target " + probe.address() + " unit " + std::to_string(probe.unit) +
                                " is not in the hosts file"};
    if (entry) {
        probe.name = entry->name;
        probe.gap_ms = entry->gap_ms.value_or(gap_ms_);
        probe.line = entry->line;
    }
    if (entry && !entry->meter.empty()) {
        if (!model.empty() && model != entry->meter)
            return Refusal{400, "model " + model + " contradicts the hosts file's " + entry->meter +
                                    " for " + probe.address()};
        model = entry->meter;
    }
    if (model.empty())
        return Refusal{400, "model is required for " + probe.address() +
                                ": name it in the hosts file or as model="};
    probe.model = model;
    return probe;
}

}  // namespace kexp
