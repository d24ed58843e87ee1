// SPDX-License-Identifier: MIT
#include "common/hosts_file.hpp"

#include "common/exit_status.hpp"
#include "common/host_port.hpp"
#include "common/meter_clock.hpp"
#include "common/meter_options.hpp"
#include "common/output.hpp"

#include <charconv>
#include <fstream>
#include <iostream>

namespace kcli {
namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The words of a line up to a '#' outside double quotes; a quoted part may hold blanks and '#'
// and loses its quotes. Nothing when a quote is not closed.
std::optional<std::vector<std::string>> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_blank(line[i])) ++i;
        if (i == line.size() || line[i] == '#') break;
        std::string word;
        while (i < line.size() && !is_blank(line[i]) && line[i] != '#') {
            if (line[i] != '"') {
                word += line[i++];
                continue;
            }
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string::npos) return std::nullopt;
            word.append(line, i + 1, close - i - 1);
            i = close + 1;
        }
        words.push_back(word);
    }
    return words;
}

// A decimal number in [low, high], nothing otherwise.
std::optional<int> number_in(const std::string& text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

// Takes one key=value field into `entry`; returns the problem, if any.
std::optional<std::string> take_field(const std::string& field, HostEntry& entry) {
    const std::size_t equals = field.find('=');
    const std::string key = field.substr(0, equals);
    const std::string value = field.substr(equals + 1);
    if (key == "unit") {
        if (entry.unit) return std::string("unit given twice");
        entry.unit = number_in(value, 0, 255);
        if (!entry.unit) return "unit must be 0-255, got '" + value + "'";
    } else if (key == "gap") {
        if (entry.gap_ms) return std::string("gap given twice");
        entry.gap_ms = number_in(value, 0, MAX_GAP_MS);
        if (!entry.gap_ms) return "gap must be 0-10000 milliseconds, got '" + value + "'";
    } else if (key == "name") {
        if (!entry.name.empty()) return std::string("name given twice");
        if (value.empty()) return std::string("name must not be empty");
        for (const char c : value)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                return std::string("name must not hold control characters");
        entry.name = value;
    } else if (key == "tz") {
        if (!entry.zone.empty()) return std::string("tz given twice");
        if (const std::string problem = zone_problem(value); !problem.empty()) return problem;
        entry.zone = value;
    } else {
        return "unknown field '" + key + "' (expected unit=, name=, gap= or tz=)";
    }
    return std::nullopt;
}

// Checks one line; returns the problem, or nothing with `entry` filled (or left without host
// for a blank line).
std::optional<std::string> parse_line(const std::string& line, const std::string& default_meter,
                                      HostEntry& entry) {
    const std::optional<std::vector<std::string>> words = words_of(line);
    if (!words) return "a double quote is not closed in '" + line + "'";
    if (words->empty()) return std::nullopt;
    const std::string malformed =
        "expected HOST[:PORT] [MODEL] [unit=N] [name=LABEL] [gap=MS] [tz=ZONE], got '" + line + "'";
    const std::optional<HostPort> split = split_host_port(words->front());
    if (!split || split->host.empty()) return malformed;
    std::string model;
    for (std::size_t i = 1; i < words->size(); ++i) {
        const std::string& word = (*words)[i];
        if (word.find('=') != std::string::npos) {
            if (const auto problem = take_field(word, entry)) return problem;
        } else if (i == 1) {
            model = word;
        } else {
            return malformed;
        }
    }
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

MeterOptions options_for(const HostEntry& entry, const MeterOptions& command_line) {
    MeterOptions options = command_line;
    if (entry.port) options.port = entry.port;
    if (entry.unit) options.unit = entry.unit;
    if (entry.gap_ms) options.gap_ms = entry.gap_ms;
    return options;
}

std::string gateway_of(const HostEntry& entry, const MeterOptions& command_line) {
    return join_host_port(entry.host,
                          entry.port.value_or(command_line.port.value_or(MODBUS_TCP_PORT)));
}

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
