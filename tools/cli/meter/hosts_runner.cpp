// SPDX-License-Identifier: MIT
#include "meter/hosts_runner.hpp"

#include "common/document.hpp"
#include "common/exit_status.hpp"
#include "common/gateway_queue.hpp"
#include "common/host_port.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <future>
#include <thread>

namespace kcli {
namespace {

using nlohmann::ordered_json;

// Where the meter is and what the site calls it: "port", "unit", "transport" for a meter on an
// RS-485 line and "name" when it has one.
ordered_json address_members(const HostEntry& entry, const MeterOptions& options) {
    ordered_json members = {{"port", options.port.value_or(MODBUS_TCP_PORT)},
                            {"unit", options.unit.value_or(1)}};
    if (const std::string transport = transport_of(entry.host, options.line); transport != "tcp")
        members["transport"] = transport;
    if (!entry.name.empty()) members["name"] = entry.name;
    return members;
}

// `document` with `members` right after its "host" member, which the library writes second.
// Edited as text rather than parsed and printed again, so that every value keeps the digits the
// library printed.
std::string with_members(const std::string& document, const ordered_json& members) {
    const std::string key = "\"host\":\"";
    std::size_t at = document.find(key);
    if (at == std::string::npos) return document;
    at += key.size();
    while (at < document.size() && document[at] != '"') at += document[at] == '\\' ? 2 : 1;
    if (at >= document.size()) return document;
    const std::string inner = members.dump();  // {"port":..,...}
    return document.substr(0, at + 1) + "," + inner.substr(1, inner.size() - 2) +
           document.substr(at + 1);
}

}  // namespace

int run_hosts(const std::vector<HostEntry>& entries, const MeterOptions& command_line, int jobs,
              const HostCall& call, bool pretty) {
    std::vector<MeterOptions> options;
    std::vector<std::string> gateways;
    for (const HostEntry& entry : entries) {
        options.push_back(options_for(entry, command_line));
        gateways.push_back(gateway_of(entry, command_line));
    }
    GatewayQueue queue(gateways, 1);
    std::vector<std::promise<DocumentResult>> results(entries.size());
    auto worker = [&] {
        while (const auto item = queue.next([] { return false; })) {
            const std::size_t i = item->index;
            if (item->gateway_failure) {
                results[i].set_value({-1, {}, *item->gateway_failure});
                continue;
            }
            const std::string text = options[i].options_text();
            DocumentResult result =
                fetch_document([&](char* out, int out_len, char* err, int err_len) {
                    return call(entries[i], text.c_str(), out, out_len, err, err_len);
                });
            if (result.status < 0 && is_connect_failure(result.error))
                result.error = queue.fail_gateway(i, result.error);
            queue.done(i);
            results[i].set_value(std::move(result));
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
        const ordered_json members = address_members(entry, options[i]);
        if (result.status >= 0) {
            print_document(with_members(result.text, members), pretty);
        } else {
            status = FAILURE;
            ordered_json failure{{"host", entry.host}};
            failure.update(members);
            failure["meter"] = entry.meter;
            failure["error"] = result.error;
            print_document(failure.dump(), pretty);
        }
    }
    return status;
}

}  // namespace kcli
