#include "hosts.hpp"

#include "document.hpp"
#include "exit_status.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <future>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kcli {

std::vector<HostEntry> read_hosts_file(const std::string& path, const std::string& default_meter) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error("Cannot read hosts file " + path);
    std::vector<HostEntry> entries;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        std::istringstream words(line.substr(0, line.find('#')));
        HostEntry entry;
        std::string extra;
        if (!(words >> entry.host)) continue;
        if (!(words >> entry.meter)) entry.meter = default_meter;
        const std::size_t colon = entry.host.rfind(':');
        const std::string port = colon == std::string::npos ? "" : entry.host.substr(colon + 1);
        const bool bad_port = colon != std::string::npos &&
                              (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos);
        if ((words >> extra) || bad_port)
            throw std::runtime_error(path + " line " + std::to_string(number) +
                                     ": expected HOST[:PORT] [MODEL], got '" + line + "'");
        if (colon != std::string::npos) {
            entry.port = std::stoi(port);
            entry.host.resize(colon);
        }
        entries.push_back(entry);
    }
    if (entries.empty()) throw std::runtime_error("No hosts in " + path);
    return entries;
}

int run_hosts(const std::vector<HostEntry>& entries, int jobs, const HostCall& call, bool pretty) {
    std::vector<std::promise<DocumentResult>> results(entries.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i; (i = next++) < entries.size();) {
            results[i].set_value(fetch_document([&](char* out, int out_len, char* err, int err_len) {
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

    int status = kSuccess;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const DocumentResult result = results[i].get_future().get();
        if (result.status >= 0) {
            print_document(result.text, pretty);
        } else {
            status = kFailure;
            const nlohmann::ordered_json failure{{"host", entries[i].host}, {"error", result.error}};
            print_document(failure.dump(), pretty);
        }
    }
    return status;
}

}  // namespace kcli
