// SPDX-License-Identifier: MIT
#include "meter/hosts_runner.hpp"

#include "common/document.hpp"
#include "common/exit_status.hpp"
#include "common/host_port.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <future>
#include <thread>

namespace kcli {
namespace {

// Edited as text rather than parsed and printed again, so that every value keeps the digits the
// library printed.
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
        const int port = entry.port.value_or(MODBUS_TCP_PORT);
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
