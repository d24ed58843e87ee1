// SPDX-License-Identifier: MIT
// kolvane-sim: serves one simulated em133 or em235 meter over Modbus TCP until SIGINT/SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

#include <pthread.h>

#include "simulator.hpp"

namespace {

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: kolvane-sim [--model em133|em235] [--port N] [--listen ADDR] [--records "
                 "N] [--serial N]\n"
                 "                   [--meter FILE]\n"
                 "  --model    meter model (default em133; pm335 = em235)\n"
                 "  --port     TCP port, 0 = a free port chosen by the kernel (default 0)\n"
                 "  --listen   IPv4 address to listen on (default 127.0.0.1)\n"
                 "  --records  records in each of the data logs 1-3, 0-65535 (default 2880)\n"
                 "  --serial   serial number, so that several simulated meters are distinct\n"
                 "  --meter    meter description file (see tools/sim/README.md)\n"
                 "The first line on standard output names the bound port.\n");
}

bool parse_int(const char* s, long lo, long hi, long& out) {
    char* end = nullptr;
    out = std::strtol(s, &end, 10);
    return *s && end && *end == '\0' && out >= lo && out <= hi;
}

}  // namespace

int main(int argc, char** argv) {
    ksim::Model model = ksim::Model::em133;
    long port = 0, records = 2880, serial = -1;
    std::string listen = "127.0.0.1", meter_file;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kolvane-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--model") {
            auto m = ksim::parse_model(value());
            if (!m) {
                std::fprintf(stderr, "kolvane-sim: --model must be em133 or em235\n");
                return 2;
            }
            model = *m;
        } else if (a == "--port") {
            if (!parse_int(value(), 0, 65535, port)) {
                std::fprintf(stderr, "kolvane-sim: --port must be 0-65535\n");
                return 2;
            }
        } else if (a == "--records") {
            // The meter announces a log's record count in one 16-bit register.
            if (!parse_int(value(), 0, 65535, records)) {
                std::fprintf(
                    stderr,
                    "kolvane-sim: --records must be 0-65535: a meter announces at most 65535 "
                    "records per log\n");
                return 2;
            }
        } else if (a == "--serial") {
            if (!parse_int(value(), 0, 4294967295L, serial)) {
                std::fprintf(stderr, "kolvane-sim: --serial must be 0-4294967295\n");
                return 2;
            }
        } else if (a == "--listen") {
            listen = value();
        } else if (a == "--meter") {
            meter_file = value();
        } else {
            std::fprintf(stderr, "kolvane-sim: unknown argument %s\n", a.c_str());
            usage(stderr);
            return 2;
        }
    }

    // Signals are taken synchronously by the main thread; every other thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        const auto now = static_cast<std::int64_t>(std::time(nullptr));
        ksim::Meter meter = ksim::default_meter(model, static_cast<int>(records), now);
        if (!meter_file.empty()) {
            std::string error;
            if (!ksim::load_meter_file(meter_file, meter, error)) {
                std::fprintf(stderr, "kolvane-sim: %s\n", error.c_str());
                return 2;
            }
        }
        if (serial >= 0 && meter.identity)
            meter.identity->serial = static_cast<std::uint32_t>(serial);
        ksim::Simulator sim(meter);
        sim.set_journal_enabled(false);
        const std::uint16_t bound = sim.start(static_cast<std::uint16_t>(port), listen);
        std::printf("kolvane-sim: %s listening on %s:%u\n", ksim::model_name(meter.model),
                    listen.c_str(), static_cast<unsigned>(bound));
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
        return 1;
    }
    return 0;
}
