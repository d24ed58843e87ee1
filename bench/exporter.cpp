// SPDX-License-Identifier: MIT
// The exporter: probes per second through `kolvane exporter` against 16 simulated em235 meters
// on 127.0.0.1 with 1, 4 and 16 concurrent scrapers (scraper s starts at meter s and goes round
// all 16), and the exporter's cost per probe over a bare kolvane_read_live_ex of the same meter
// (HTTP, the target check, the exposition text; the meter's identity is cached between probes).
// Each figure also while 64 idle connections are held open to the exporter (silent or stalled in
// their headers, re-opened when it closes them): idle clients must not starve real scrapers.
// The passes without and with them alternate, so drift in the machine's load hits both alike.
#include <httplib.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kolvane.h"
#include "simulator.hpp"
#include "support/exporter_process.hpp"
#include "support/idle_connections.hpp"
#include "support/measure.hpp"

namespace {

constexpr int METERS = 16;
constexpr int ROUNDS = 3;
constexpr int SEQUENTIAL_CALLS = 300;
constexpr double SECONDS_PER_RUN = 1.0;
const int SCRAPERS[] = {1, 4, 16};
constexpr int IDLE_CONNECTIONS = 64;
// The exporter takes at most 64 connections from one address (2 x --max-concurrent + 32), and
// the scrapers on 127.0.0.1 need some of those: the idle ones come from other addresses.
constexpr int IDLE_PER_SOURCE = 16;

using kbench::ExporterProcess;
using kbench::probe_path;

double probes_per_second(int exporter_port, const std::vector<int>& meters, int scrapers) {
    return kbench::probes_per_second(meters, scrapers, SECONDS_PER_RUN, [exporter_port] {
        return std::make_unique<httplib::Client>("127.0.0.1", exporter_port);
    });
}

// Seconds of one call, timed on its own.
template <class Call>
double seconds_of(Call&& call) {
    const auto start = kbench::Clock::now();
    call();
    return kbench::seconds_since(start);
}

// The figures of one setting, samples of every pass.
struct Samples {
    std::vector<double> rates[std::size(SCRAPERS)];  // probes per second, per scraper count
    std::vector<double> bare, probe;                 // seconds of each call, one caller

    // One run of each scraper count, then SEQUENTIAL_CALLS bare reads and as many probes in
    // turn, so that a burst of load elsewhere on the machine hits both alike.
    void add_pass(int exporter_port, const std::vector<int>& meters) {
        for (std::size_t i = 0; i < std::size(SCRAPERS); ++i)
            rates[i].push_back(probes_per_second(exporter_port, meters, SCRAPERS[i]));
        const std::string options = "{\"port\":" + std::to_string(meters[0]) + "}";
        std::vector<char> out(64 * 1024);
        char err[256];
        httplib::Client client("127.0.0.1", exporter_port);
        for (int i = 0; i < SEQUENTIAL_CALLS; ++i) {
            bare.push_back(seconds_of([&] {
                if (kolvane_read_live_ex("127.0.0.1", "em235", options.c_str(), out.data(),
                                         int(out.size()), err, sizeof err) <= 0)
                    throw std::runtime_error(err);
            }));
            probe.push_back(seconds_of([&] {
                if (!client.Get(probe_path(meters[0]).c_str()))
                    throw std::runtime_error("a probe failed");
            }));
        }
    }
};

void print_overhead(int idle_connections, const Samples& samples) {
    const double b = kbench::median(samples.bare), p = kbench::median(samples.probe);
    std::printf("  %4d %16.1f us %10.1f us %7.1f us = %4.1f %%\n", idle_connections, b * 1e6,
                p * 1e6, (p - b) * 1e6, 100 * (p - b) / b);
}

// CPU time per call, which the machine's scheduling of the waiting threads does not blur: a
// bare read's on its own thread, and a probe's as the exporter's whole CPU time over CPU_CALLS
// probes less that of an exporter that served none (starting and stopping).
void print_cpu_per_call(const std::vector<int>& meters, int idle_connections) {
    constexpr int CPU_CALLS = 1000;
    const std::string options = "{\"port\":" + std::to_string(meters[0]) + "}";
    std::vector<char> out(64 * 1024);
    char err[256];
    const kbench::CpuTime start = kbench::thread_cpu();
    for (int i = 0; i < CPU_CALLS; ++i)
        if (kolvane_read_live_ex("127.0.0.1", "em235", options.c_str(), out.data(), int(out.size()),
                                 err, sizeof err) <= 0)
            throw std::runtime_error(err);
    const kbench::CpuTime bare = kbench::thread_cpu() - start;
    const kbench::CpuTime unused = ExporterProcess().stop();
    ExporterProcess exporter;
    {
        std::optional<kbench::IdleConnections> idle;
        if (idle_connections > 0)
            idle.emplace(exporter.port(), idle_connections, IDLE_PER_SOURCE,
                         std::chrono::seconds(2));
        httplib::Client client("127.0.0.1", exporter.port());
        for (int i = 0; i < CPU_CALLS; ++i)
            if (!client.Get(probe_path(meters[0]).c_str()))
                throw std::runtime_error("a probe failed");
    }
    const kbench::CpuTime probes = exporter.stop() - unused;
    const double b = (bare.user + bare.system) / CPU_CALLS,
                 p = (probes.user + probes.system) / CPU_CALLS;
    std::printf("  %4d %16.1f us %10.1f us %7.1f us = %4.1f %%\n", idle_connections, b * 1e6,
                p * 1e6, (p - b) * 1e6, 100 * (p - b) / b);
}

}  // namespace

int main() try {
    const kbench::Em235Meters served(METERS);
    const std::vector<int>& meters = served.ports;
    const ExporterProcess exporter;

    Samples quiet, crowded;
    long reopened = 0;
    std::string sources;
    for (int r = 0; r < ROUNDS; ++r) {
        quiet.add_pass(exporter.port(), meters);
        // Spread over the exporter's 2 s header time-out; a pass lasts longer, so they are closed
        // and re-opened during it.
        const kbench::IdleConnections idle(exporter.port(), IDLE_CONNECTIONS, IDLE_PER_SOURCE,
                                           std::chrono::seconds(2));
        crowded.add_pass(exporter.port(), meters);
        if (idle.refused() > 0)
            throw std::runtime_error("the exporter did not hold all " +
                                     std::to_string(IDLE_CONNECTIONS) + " idle connections");
        reopened += idle.reopened();
        sources = idle.sources();
    }

    std::printf(
        "probes per second through the exporter, %d em235 meters (median of %d runs of %.0f s),\n"
        "without and with %d idle connections held (%d from each of %s, as the exporter takes\n"
        "at most 64 from one address; %ld re-opened after the exporter closed them):\n"
        "  scrapers   no idle   %d idle  (probes/s)\n",
        METERS, ROUNDS, SECONDS_PER_RUN, IDLE_CONNECTIONS, IDLE_PER_SOURCE, sources.c_str(),
        reopened, IDLE_CONNECTIONS);
    for (std::size_t i = 0; i < std::size(SCRAPERS); ++i)
        std::printf("  %8d %9.0f %9.0f\n", SCRAPERS[i], kbench::median(quiet.rates[i]),
                    kbench::median(crowded.rates[i]));
    std::printf(
        "one meter, one caller, median of %d x %d calls each (target: overhead under 10 %%):\n"
        "  idle  kolvane_read_live_ex   GET /probe   exporter overhead per probe\n",
        ROUNDS, SEQUENTIAL_CALLS);
    print_overhead(0, quiet);
    print_overhead(IDLE_CONNECTIONS, crowded);
    std::printf(
        "CPU time per call (user + kernel; the probe's is the exporter's, HTTP included):\n"
        "  idle  kolvane_read_live_ex   GET /probe   exporter overhead per probe\n");
    print_cpu_per_call(meters, 0);
    print_cpu_per_call(meters, IDLE_CONNECTIONS);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench_exporter: %s\n", e.what());
    return 1;
}
