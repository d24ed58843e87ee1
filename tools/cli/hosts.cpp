// SPDX-License-Identifier: MIT
#include "hosts.hpp"

#include "document.hpp"
#include "exit_status.hpp"
#include "meter_options.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <future>
#include <iostream>
#include <sstream>
#include <thread>

namespace kcli {
namespace {

constexpr int DEFAULT_PORT = 502;

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

bool all_digits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// Splits "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT"; an address with several colons and no
// brackets is an IPv6 address without a port. Returns false when the text is malformed.
bool split_host(const std::string& word, std::string& host, std::string& port) {
    if (word.starts_with('[')) {
        const std::size_t close = word.find(']');
        if (close == std::string::npos || close == 1) return false;
        host = word.substr(1, close - 1);
        const std::string rest = word.substr(close + 1);
        if (rest.empty()) return true;
        if (rest[0] != ':') return false;
        port = rest.substr(1);
        return all_digits(port);
    }
    const std::size_t colon = word.find(':');
    if (colon == std::string::npos || word.find(':', colon + 1) != std::string::npos) {
        host = word;
        return true;
    }
    host = word.substr(0, colon);
    port = word.substr(colon + 1);
    return !host.empty() && all_digits(port);
}

// Checks one line; returns the problem, or nothing with `entry` filled (or left without host
// for a blank line).
std::optional<std::string> parse_line(const std::string& line, const std::string& default_meter,
                                      HostEntry& entry) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string address, model, extra;
    if (!(words >> address)) return std::nullopt;
    words >> model;
    std::string host, port;
    if ((words >> extra) || !split_host(address, host, port))
        return "expected HOST[:PORT] [MODEL], got '" + line + "'";
    if (!port.empty()) {
        const long number = port.size() > 5 ? 0 : std::stol(port);
        if (number < 1 || number > 65535) return "port must be 1-65535, got " + port;
        entry.port = static_cast<int>(number);
    }
    if (model.empty() && default_meter.empty()) return "no MODEL on the line and no -m/--meter";
    if (model.empty()) model = default_meter;
    if (!known_model(model))
        return "unknown model '" + model + "' (expected em133, em235 or pm335)";
    entry.host = host;
    entry.meter = canonical_model(model);
    return std::nullopt;
}

// `document` with "port":N right after its "host" member, which the library writes second.
std::string with_port(const std::string& document, int port) {
    const std::string key = "\"host\":\"";
    std::size_t at = document.find(key);
    if (at == std::string::npos) return document;
    at += key.size();
    while (at < document.size() && document[at] != '"') at += document[at] == '\\' ? 2 : 1;
    if (at >= document.size()) return document;
    return document.substr(0, at + 1) + ",\"port\":" + std::to_string(port) +
           document.substr(at + 1);
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

int run_hosts(const std::vector<HostEntry>& entries, int jobs, const HostCall& call, bool pretty) {
    std::vector<std::promise<DocumentResult>> results(entries.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i; (i = next++) < entries.size();) {
            results[i].set_value(
                fetch_document([&](char* out, int out_len, char* err, int err_len) {
                    return call(entries[i], out, out_len, err, err_len);
                }));
        }
    };

    // Ctrl-C must reach the main thread, which leaves between two complete lines.
    sigset_t sigint, previous;
    sigemptyset(&sigint);
    sigaddset(&sigint, SIGINT);
    pthread_sigmask(SIG_BLOCK, &sigint, &previous);
    std::vector<std::jthread> threads;
    const auto count = std::clamp<std::size_t>(static_cast<std::size_t>(jobs), 1, entries.size());
    for (std::size_t t = 0; t < count; ++t) threads.emplace_back(worker);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);

    int status = SUCCESS;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const DocumentResult result = results[i].get_future().get();
        const HostEntry& entry = entries[i];
        const int port = entry.port.value_or(DEFAULT_PORT);
        if (result.status >= 0) {
            print_document(with_port(result.text, port), pretty);
        } else {
            status = FAILURE;
            const nlohmann::ordered_json failure{{"host", entry.host},
                                                 {"port", port},
                                                 {"meter", entry.meter},
                                                 {"error", result.error}};
            print_document(failure.dump(), pretty);
        }
    }
    return status;
}

}  // namespace kcli
