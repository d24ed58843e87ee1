// SPDX-License-Identifier: MIT
// kolvane collect pass after pass on one meter of three data logs of 2,880 records and 300
// events, one new record in every log between passes: the Modbus requests and the wall time of
// the first, full pass against a resumed one, on the loopback and behind the simulator's 20 ms
// per request (a gateway on a slow link). Prints figures; nothing passes or fails.
#include "support/measure.hpp"

#include "simulator.hpp"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

// One more record at the end of every log.
void append_record(ksim::Simulator& sim, const ksim::Meter& meter) {
    for (const auto& [file_id, log] : meter.logs)
        sim.update_log(file_id, [](ksim::LogFile& file) { ksim::append_next_records(file, 1); });
}

void pass(const char* name, ksim::Simulator& sim, const std::string& db) {
    const std::size_t before = sim.requests_received();
    const auto start = kbench::Clock::now();
    const std::string command = std::string(KOLVANE_TOOL) +
                                " collect 127.0.0.1:" + std::to_string(sim.port()) +
                                " -m em133 --db " + db + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    std::printf("  %-8s %6zu requests  %8.2f s%s\n", name, sim.requests_received() - before,
                kbench::seconds_since(start), status == 0 ? "" : "  (the run failed)");
}

}  // namespace

int main() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("kolvane-bench-resume-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const int latency_ms : {0, 20}) {
        const ksim::Meter meter =
            ksim::default_meter(ksim::Model::em133, 2880, std::time(nullptr), 300);
        ksim::Simulator sim(meter);
        sim.set_journal_enabled(false);
        if (latency_ms > 0)
            sim.add_fault(ksim::Fault::delay(std::chrono::milliseconds(latency_ms)));
        sim.start();
        const std::string db = (dir / ("pass" + std::to_string(latency_ms) + ".db")).string();
        std::printf("one meter, %d ms per request:\n", latency_ms);
        pass("full", sim, db);
        append_record(sim, meter);
        pass("resumed", sim, db);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
