// SPDX-License-Identifier: MIT
// `kolvane exporter --allow-any-target` run as the tool on a kernel-chosen port, and scrapers that
// probe em235 meters through it as fast as they can, for the exporter benchmarks. Header-only.
#pragma once

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "simulator.hpp"
#include "support/measure.hpp"

extern char** environ;

namespace kbench {

class ExporterProcess {
public:
    // With `extra` arguments after the listen address and --allow-any-target.
    explicit ExporterProcess(const std::vector<std::string>& extra = {}) {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args{KOLVANE_TOOL, "exporter", "--listen", "127.0.0.1:0",
                                      "--allow-any-target"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, KOLVANE_TOOL, &actions, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start " KOLVANE_TOOL);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        std::string line;  // "kolvane exporter listening on 127.0.0.1:PORT"
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        if (line.rfind(':') == std::string::npos)
            throw std::runtime_error("the exporter did not start");
        port_ = std::stoi(line.substr(line.rfind(':') + 1));
    }
    ~ExporterProcess() { stop(); }
    ExporterProcess(const ExporterProcess&) = delete;
    ExporterProcess& operator=(const ExporterProcess&) = delete;
    int port() const { return port_; }
    // Stops the exporter; the CPU time all its threads used over its life.
    CpuTime stop() {
        if (pid_ < 0) return {};
        kill(pid_, SIGTERM);
        rusage usage{};
        wait4(std::exchange(pid_, -1), nullptr, 0, &usage);
        const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec * 1e-6; };
        return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// `count` default em235 meters served on loopback ports, their journals off.
struct Em235Meters {
    explicit Em235Meters(int count) {
        for (int i = 0; i < count; ++i) {
            sims.push_back(
                std::make_unique<ksim::Simulator>(ksim::default_meter(ksim::Model::em235)));
            sims.back()->set_journal_enabled(false);
            ports.push_back(sims.back()->start());
        }
    }
    std::vector<std::unique_ptr<ksim::Simulator>> sims;
    std::vector<int> ports;
};

inline std::string probe_path(int meter_port) {
    return "/probe?target=127.0.0.1:" + std::to_string(meter_port) + "&model=em235";
}

// Probes per second of `scrapers` threads, each with a client of `make_client` and starting at
// its own meter, going round all of `meters` for `seconds`; throws when a probe fails. Each
// keeps its connection from one probe to the next, as Prometheus does.
template <class MakeClient>
double probes_per_second(const std::vector<int>& meters, int scrapers, double seconds,
                         MakeClient make_client) {
    std::atomic<bool> stop{false}, failed{false};
    std::atomic<long> probes{0};
    std::vector<std::thread> workers;
    const auto start = Clock::now();
    for (int s = 0; s < scrapers; ++s) {
        workers.emplace_back([&, s] {
            auto client = make_client();
            client->set_keep_alive(true);
            for (std::size_t meter = std::size_t(s) % meters.size(); !stop;
                 meter = (meter + 1) % meters.size()) {
                const auto answer = client->Get(probe_path(meters[meter]).c_str());
                if (!answer || answer->status != 200 ||
                    answer->body.find("kolvane_up 1") == std::string::npos) {
                    failed = true;
                    return;
                }
                ++probes;
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& w : workers) w.join();
    if (failed) throw std::runtime_error("a probe failed");
    return double(probes) / seconds_since(start);
}

}  // namespace kbench
