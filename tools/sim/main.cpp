// SPDX-License-Identifier: MIT
// kolvane-sim: serves one simulated em133 or em235 meter, or a gateway with several behind one
// port, over Modbus TCP until SIGINT/SIGTERM.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>
#include <vector>

#include <pthread.h>

#include "command_line.hpp"
#include "journal_line.hpp"
#include "simulator.hpp"

namespace {

// One distinct meter per unit id: `meter` with serials counting up from its own.
void add_units(ksim::Simulator& sim, const ksim::Meter& meter,
               const std::vector<std::uint8_t>& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        ksim::Meter unit_meter = meter;
        if (unit_meter.identity) unit_meter.identity->serial += static_cast<std::uint32_t>(i);
        sim.add_unit(units[i], unit_meter);
    }
}

// " units 1,2,5", or nothing for a single meter.
std::string units_text(const std::vector<std::uint8_t>& units) {
    std::string text;
    for (const std::uint8_t unit : units)
        text += (text.empty() ? " units " : ",") + std::to_string(unit);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    ksim::CommandLine line;
    if (const auto status = ksim::parse_command_line(argc, argv, line)) return *status;

    // Signals are taken synchronously by the main thread; every other thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        const auto now = static_cast<std::int64_t>(std::time(nullptr));
        ksim::Meter meter = ksim::default_meter(line.model, line.records, now);
        if (!line.meter_file.empty()) {
            std::string error;
            if (!ksim::load_meter_file(line.meter_file, meter, error)) {
                std::fprintf(stderr, "kolvane-sim: %s\n", error.c_str());
                return ksim::EXIT_USAGE;
            }
        }
        if (line.serial && meter.identity) meter.identity->serial = *line.serial;
        ksim::Simulator sim(meter.model);
        if (line.units.empty())
            sim.load(meter);
        else
            add_units(sim, meter, line.units);
        sim.set_journal_enabled(false);
        sim.set_latency(line.latency);
        sim.set_max_connections(line.max_connections);
        sim.set_min_gap(line.min_gap);
        if (line.journal) {
            const auto started = std::chrono::steady_clock::now();
            sim.set_request_observer([started](const ksim::Request& request) {
                std::fprintf(stderr, "%s\n", ksim::journal_line(request, started).c_str());
            });
        }
        const std::uint16_t bound = sim.start(line.port, line.listen);
        std::printf("kolvane-sim: %s listening on %s%s\n", ksim::model_name(meter.model),
                    ksim::endpoint_text(line.listen, bound).c_str(),
                    units_text(line.units).c_str());
        std::fflush(stdout);

        const double start = static_cast<double>(now);
        for (;;) {
            timespec wait{1, 0};
            int sig = sigtimedwait(&signals, nullptr, &wait);
            if (sig == SIGINT || sig == SIGTERM) break;
            timespec ts{};
            clock_gettime(CLOCK_REALTIME, &ts);
            const double t = static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
            if (line.units.empty()) ksim::update_live_values(sim, t, start, meter.point_overrides);
            for (const std::uint8_t unit : line.units)
                ksim::update_live_values(sim, unit, t, start, meter.point_overrides);
        }
        sim.stop();
        std::fprintf(stderr, "kolvane-sim: stopped after %zu connections, %zu requests\n",
                     sim.connections_accepted(), sim.requests_received());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kolvane-sim: %s\n", e.what());
        return ksim::EXIT_RUNTIME;
    }
    return 0;
}
