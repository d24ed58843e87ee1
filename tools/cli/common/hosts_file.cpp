// SPDX-License-Identifier: MIT
#include "common/hosts_file.hpp"

#include "common/exit_status.hpp"
#include "common/host_port.hpp"
#include "common/meter_options.hpp"
#include "common/output.hpp"

#include <fstream>
#include <iostream>
#include <sstream>

namespace kcli {
namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

// Checks one line; returns the problem, or nothing with `entry` filled (or left without host
// for a blank line).
std::optional<std::string> parse_line(const std::string& line, const std::string& default_meter,
                                      HostEntry& entry) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string address, model, extra;
    if (!(words >> address)) return std::nullopt;
    words >> model;
    const std::optional<HostPort> split = split_host_port(address);
    if ((words >> extra) || !split || split->host.empty())
        return "expected HOST[:PORT] [MODEL], got '" + line + "'";
    if (!split->port.empty()) {
        entry.port = port_number(split->port);
        if (!entry.port) return "port must be 1-65535, got " + split->port;
    }
    if (model.empty() && default_meter.empty()) return "no MODEL on the line and no -m/--meter";
    if (model.empty()) model = default_meter;
    if (!known_model(model))
        return "unknown model '" + model + "' (expected em133, em235 or pm335)";
    entry.host = split->host;
    entry.meter = canonical_model(model);
    return std::nullopt;
}

}  // namespace

HostsFileError::HostsFileError(std::vector<std::string> problems, int exit_status)
    : std::runtime_error(joined(problems)),
      problems_(std::move(problems)),
      exit_status_(exit_status) {}

int report_hosts_error(const HostsFileError& error) {
    for (const std::string& problem : error.problems()) print_diagnostic(problem.c_str());
    return error.exit_status();
}

std::vector<HostEntry> read_hosts_file(const std::string& path, const std::string& default_meter) {
    const bool from_stdin = path == "-";
    const std::string name = from_stdin ? "standard input" : path;
    std::ifstream file;
    if (!from_stdin) {
        file.open(path);
        if (!file) throw HostsFileError({"Cannot read hosts file " + path}, FAILURE);
    }
    std::istream& in = from_stdin ? std::cin : file;
    std::vector<HostEntry> entries;
    std::vector<std::string> problems;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        HostEntry entry;
        if (const auto problem = parse_line(line, default_meter, entry))
            problems.push_back(name + " line " + std::to_string(number) + ": " + *problem);
        else if (!entry.host.empty())
            entries.push_back(entry);
    }
    if (in.bad()) throw HostsFileError({"Cannot read hosts file " + name}, FAILURE);
    if (problems.empty() && entries.empty()) problems.push_back("No hosts in " + name);
    if (!problems.empty()) throw HostsFileError(problems, USAGE);
    return entries;
}

}  // namespace kcli
