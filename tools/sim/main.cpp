// SPDX-License-Identifier: MIT
// kolvane-sim: serves one simulated em133 or em235 meter over Modbus TCP until SIGINT/SIGTERM.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>

#include <pthread.h>

#include "command_line.hpp"
#include "simulator.hpp"

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
        ksim::Simulator sim(meter);
        sim.set_journal_enabled(false);
        const std::uint16_t bound = sim.start(line.port, line.listen);
        std::printf("kolvane-sim: %s listening on %s:%u\n", ksim::model_name(meter.model),
                    line.listen.c_str(), static_cast<unsigned>(bound));
        std::fflush(stdout);

        const double start = static_cast<double>(now);
        for (;;) {
            timespec wait{1, 0};
            int sig = sigtimedwait(&signals, nullptr, &wait);
            if (sig == SIGINT || sig == SIGTERM) break;
            timespec ts{};
            clock_gettime(CLOCK_REALTIME, &ts);
            ksim::update_live_values(sim, static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9, start,
                                     meter.point_overrides);
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
