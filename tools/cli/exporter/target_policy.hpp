// SPDX-License-Identifier: MIT
// Which meter a probe reads: the query parameters checked against the hosts file. Only listed
// targets are read unless any target is allowed, so the exporter cannot scan a network.
#pragma once

#include "common/host_port.hpp"
#include "common/hosts_file.hpp"

#include <map>
#include <string>
#include <variant>
#include <vector>

namespace kexp {

struct ProbeTarget {
    std::string host;  // a host name or an address; an IPv6 address without brackets
    int port = kcli::MODBUS_TCP_PORT;
    int unit = 1;
    std::string model;        // "em133" or "em235"
    std::string name;         // the hosts file's name= of the meter, may be empty
    int gap_ms = 0;           // the least pause between two requests, 0 for none
    kcli::LineSettings line;  // of a meter on an RS-485 line (host: the device of a serial line)

    std::string address() const;  // HOST:PORT, an IPv6 address in brackets; rtu:DEVICE
};

// A probe that is not served: the HTTP status (400, 403) and a one-line reason.
struct Refusal {
    int status = 400;
    std::string reason;
};

// Every query parameter with each value given.
using QueryParams = std::multimap<std::string, std::string>;

class TargetPolicy {
public:
    // A listed meter is its HOST, PORT and UNIT: a line with unit=N lists that unit alone, a line
    // without unit= every unit of its HOST:PORT. `gap_ms` is the pause between requests for
    // targets whose line names no gap=. Throws std::runtime_error when a line of the hosts file
    // names an unknown model.
    TargetPolicy(std::vector<kcli::HostEntry> listed, bool allow_any_target, int gap_ms = 0);

    // target=HOST[:PORT] or [IPV6][:PORT] (rtu:DEVICE or rtu+tcp://HOST[:PORT] for a meter on an
    // RS-485 line the hosts file lists), optional unit=N (default 1) and
    // model=em133|em235|pm335; the model may come from the target's line of the hosts file
    // instead, but is never guessed.
    std::variant<ProbeTarget, Refusal> resolve(const QueryParams& params) const;

private:
    // The line listing the meter: the one naming its unit, else one naming no unit.
    const kcli::HostEntry* listed(const ProbeTarget& target) const;
    std::variant<ProbeTarget, Refusal> resolve_rtu(
        const std::string& target_text, const std::optional<std::string>& unit_text,
        const std::optional<std::string>& model_text) const;
    // The probe with what its hosts line says (name, gap, line settings, model), or refused.
    std::variant<ProbeTarget, Refusal> with_hosts_line(
        ProbeTarget probe, const std::optional<std::string>& model_text) const;

    std::vector<kcli::HostEntry> listed_;
    bool allow_any_target_;
    int gap_ms_;
};

}  // namespace kexp
