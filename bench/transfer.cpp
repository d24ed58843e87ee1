// SPDX-License-Identifier: MIT
// Transfer benchmark: a data log of 20,000 records of 16 columns read from the simulator by
// kolvane_read_datalog (JSON records to a counting callback) and kolvane_export_datalog_ex
// (CSV to /dev/null), by a libmodbus client making exactly the same Modbus transactions and
// only decoding the values, and by a raw-socket client making the same round trips with no
// processing (the floor). The clients run in turn, several rounds; medians are printed.
#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "kolvane.h"
#include "support/datalog_meter.hpp"
#include "support/measure.hpp"
#include "traffic.hpp"

namespace {

constexpr int RECORDS = 20000;
constexpr int FILE_ID = 1;
constexpr int ROUNDS = 9;

int count_record(const char*, void* user) {
    ++*static_cast<int*>(user);
    return 0;
}

struct Run {
    double wall = 0;
    kbench::CpuTime client, sim;
};

// Times one client run from the log's first record. The simulator serves from threads of this
// process, so its CPU time is the process's CPU time less the client thread's.
Run timed(ksim::Simulator& sim, const std::function<void()>& client) {
    sim.set_log_cursor(FILE_ID, 0);
    const kbench::CpuTime process0 = kbench::process_cpu(), thread0 = kbench::thread_cpu();
    const auto start = kbench::Clock::now();
    client();
    Run run;
    run.wall = kbench::seconds_since(start);
    run.client = kbench::thread_cpu() - thread0;
    run.sim = kbench::process_cpu() - process0 - run.client;
    return run;
}

void check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what);
}

}  // namespace

int main() try {
    const int cpu = kbench::pin_to_current_cpu();
    ksim::Meter meter = ksim::default_meter(ksim::Model::em133, 1);
    kbench::add_datalog(meter, FILE_ID, RECORDS);
    ksim::Simulator sim(meter);
    const std::uint16_t port = sim.start();
    const std::string options = "{\"port\":" + std::to_string(port) + "}";
    char err[256];

    const auto read_datalog = [&] {
        int records = 0;
        const int n = kolvane_read_datalog("127.0.0.1", "em133", FILE_ID, options.c_str(),
                                           count_record, &records, err, sizeof err);
        check(n == RECORDS && records == RECORDS + 1, std::string("read_datalog: ") + err);
    };
    const auto export_datalog = [&] {
        const int n = kolvane_export_datalog_ex("127.0.0.1", "em133", FILE_ID, "/dev/null",
                                                options.c_str(), nullptr, nullptr, err, sizeof err);
        check(n == RECORDS, std::string("export_datalog: ") + err);
    };

    // The library's traffic, captured once for each operation; both must be the same.
    const auto capture = [&](const std::function<void()>& operation) {
        sim.clear_journal();
        sim.set_log_cursor(FILE_ID, 0);
        operation();
        return kbench::from_journal(sim.journal());
    };
    const std::vector<kbench::Transaction> traffic = capture(read_datalog);
    check(capture(export_datalog) == traffic, "read and export made different requests");
    sim.set_journal_enabled(false);
    size_t reads = 0;
    for (const auto& t : traffic) reads += t.function == 3;
    std::printf(
        "transfer: %d records of %d columns, %d records per block; %zu Modbus transactions "
        "per run (%zu reads), the same for every client; client and simulator on CPU %d\n",
        RECORDS, kbench::COLUMNS, kbench::RECORDS_PER_BLOCK, traffic.size(), reads, cpu);

    const std::vector<std::pair<std::string, std::function<void()>>> clients = {
        {"kolvane_read_datalog (JSON records)", read_datalog},
        {"kolvane_export_datalog_ex (CSV)", export_datalog},
        {"libmodbus, decode only", [&] { kbench::replay_libmodbus(port, traffic); }},
        {"raw socket, no processing (floor)", [&] { kbench::replay_raw(port, traffic); }},
    };
    std::map<std::string, std::vector<Run>> runs;
    for (int round = 0; round < ROUNDS; ++round) {
        for (const auto& [name, client] : clients) runs[name].push_back(timed(sim, client));
    }

    std::map<std::string, double> wall;
    std::printf(
        "medians of %d alternating rounds; CPU times in ms per run, user + kernel; the "
        "simulator's\n"
        "share = its CPU time over the run's wall time (the client waits while it serves)\n",
        ROUNDS);
    std::printf("  %-36s %8s %10s %15s %15s %10s\n", "client", "wall ms", "records/s", "client CPU",
                "simulator CPU", "sim share");
    for (const auto& [name, client] : clients) {
        std::vector<double> w, cu, cs, su, ss, share;
        for (const Run& r : runs[name]) {
            w.push_back(r.wall);
            cu.push_back(r.client.user), cs.push_back(r.client.system);
            su.push_back(r.sim.user), ss.push_back(r.sim.system);
            share.push_back((r.sim.user + r.sim.system) / r.wall);
        }
        using kbench::median;
        wall[name] = median(w);
        std::printf("  %-36s %8.1f %10.0f %6.1f + %6.1f %6.1f + %6.1f %9.0f%%\n", name.c_str(),
                    wall[name] * 1e3, RECORDS / wall[name], median(cu) * 1e3, median(cs) * 1e3,
                    median(su) * 1e3, median(ss) * 1e3, median(share) * 100);
    }
    const double libmodbus = wall[clients[2].first], floor = wall[clients[3].first];
    for (int i = 0; i < 2; ++i) {
        const char* name = clients[size_t(i)].first.c_str();
        const double own = wall[clients[size_t(i)].first];
        std::printf("ratio %s / libmodbus (wall): %.3f   (target <= 0.95)\n", name,
                    own / libmodbus);
        std::printf("ratio %s / raw-socket floor (wall): %.3f   (target <= 1.10)\n", name,
                    own / floor);
    }
    std::printf("ratio libmodbus / raw-socket floor (wall): %.3f\n", libmodbus / floor);
    return 0;
} catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_transfer: %s\n", failure.what());
    return 1;
}
