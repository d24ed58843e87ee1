// SPDX-License-Identifier: MIT
// The exporter: probes per second through `kolvane exporter` against 16 simulated em235 meters
// on 127.0.0.1 with 1, 4 and 16 concurrent scrapers (scraper s starts at meter s and goes round
// all 16), and the exporter's cost per probe over a bare kolvane_read_live_ex of the same meter
// (HTTP, the target check, the exposition text; the meter's identity is cached between probes).
#include <httplib.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kolvane.h"
#include "simulator.hpp"
#include "support/measure.hpp"

extern char** environ;

namespace {

constexpr int METERS = 16;
constexpr int ROUNDS = 3;
constexpr int SEQUENTIAL_CALLS = 300;
constexpr double SECONDS_PER_RUN = 1.0;
const int SCRAPERS[] = {1, 4, 16};

// `kolvane exporter --allow-any-target` on a kernel-chosen port; stopped on destruction.
class ExporterProcess {
public:
    ExporterProcess() {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const char* argv[] = {KOLVANE_TOOL,  "exporter",           "--listen",
                              "127.0.0.1:0", "--allow-any-target", nullptr};
        if (posix_spawn(&pid_, KOLVANE_TOOL, &actions, nullptr, const_cast<char**>(argv),
                        environ) != 0)
            throw std::runtime_error("cannot start " KOLVANE_TOOL);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        port_ = std::stoi(line.substr(line.rfind(':') + 1));  // "... listening on 127.0.0.1:PORT"
    }
    ~ExporterProcess() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

std::string probe_path(int meter_port) {
    return "/probe?target=127.0.0.1:" + std::to_string(meter_port) + "&model=em235";
}

double probes_per_second(int exporter_port, const std::vector<int>& meters, int scrapers) {
    std::atomic<bool> stop{false}, failed{false};
    std::atomic<long> probes{0};
    std::vector<std::thread> workers;
    const auto start = kbench::Clock::now();
    for (int s = 0; s < scrapers; ++s) {
        workers.emplace_back([&, s] {
            httplib::Client client("127.0.0.1", exporter_port);
            for (int meter = s; !stop; meter = (meter + 1) % METERS) {
                const auto answer = client.Get(probe_path(meters[meter]).c_str());
                if (!answer || answer->status != 200 ||
                    answer->body.find("kolvane_up 1") == std::string::npos) {
                    failed = true;
                    return;
                }
                ++probes;
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(SECONDS_PER_RUN));
    stop = true;
    for (auto& w : workers) w.join();
    if (failed) throw std::runtime_error("a probe failed");
    return double(probes) / kbench::seconds_since(start);
}

// Mean seconds of one call of `call`, SEQUENTIAL_CALLS in a row.
template <class Call>
double mean_seconds(Call&& call) {
    const auto start = kbench::Clock::now();
    for (int i = 0; i < SEQUENTIAL_CALLS; ++i) call();
    return kbench::seconds_since(start) / SEQUENTIAL_CALLS;
}

}  // namespace

int main() try {
    std::vector<std::unique_ptr<ksim::Simulator>> sims;
    std::vector<int> meters;
    for (int i = 0; i < METERS; ++i) {
        sims.push_back(std::make_unique<ksim::Simulator>(ksim::default_meter(ksim::Model::em235)));
        sims.back()->set_journal_enabled(false);
        meters.push_back(sims.back()->start());
    }
    const ExporterProcess exporter;

    std::printf(
        "probes per second through the exporter, %d em235 meters (median of %d runs of %.0f s):\n",
        METERS, ROUNDS, SECONDS_PER_RUN);
    for (const int scrapers : SCRAPERS) {
        std::vector<double> rates;
        for (int r = 0; r < ROUNDS; ++r)
            rates.push_back(probes_per_second(exporter.port(), meters, scrapers));
        std::printf("  %2d scraper%s %8.0f probes/s\n", scrapers, scrapers == 1 ? " " : "s",
                    kbench::median(rates));
    }

    const std::string options = "{\"port\":" + std::to_string(meters[0]) + "}";
    std::vector<char> out(64 * 1024);
    char err[256];
    httplib::Client client("127.0.0.1", exporter.port());
    std::vector<double> bare, probe;
    for (int r = 0; r < ROUNDS; ++r) {
        bare.push_back(mean_seconds([&] {
            if (kolvane_read_live_ex("127.0.0.1", "em235", options.c_str(), out.data(),
                                     int(out.size()), err, sizeof err) <= 0)
                throw std::runtime_error(err);
        }));
        probe.push_back(mean_seconds([&] {
            if (!client.Get(probe_path(meters[0]).c_str()))
                throw std::runtime_error("a probe failed");
        }));
    }
    const double b = kbench::median(bare), p = kbench::median(probe);
    std::printf("one meter, one caller, median of %d x %d calls:\n", ROUNDS, SEQUENTIAL_CALLS);
    std::printf("  kolvane_read_live_ex      %7.1f us\n", b * 1e6);
    std::printf("  GET /probe                %7.1f us\n", p * 1e6);
    std::printf("  exporter overhead         %7.1f us per probe, %.1f %% (target: under 10 %%)\n",
                (p - b) * 1e6, 100 * (p - b) / b);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench_exporter: %s\n", e.what());
    return 1;
}
