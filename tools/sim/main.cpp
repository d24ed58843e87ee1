// SPDX-License-Identifier: MIT
// kolvane-sim: serves one simulated em133 or em235 meter, or a gateway with several behind one
// port, over Modbus TCP (and Modbus RTU when asked) until SIGINT/SIGTERM.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
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

// Applies `change` to log `file_id` of every meter served: the one meter, or each unit's.
void update_logs(ksim::Simulator& sim, const std::vector<std::uint8_t>& units, int file_id,
                 const std::function<void(ksim::LogFile&)>& change) {
    if (units.empty()) sim.update_log(file_id, change);
    for (const std::uint8_t unit : units) sim.update_unit_log(unit, file_id, change);
}

// The meters go on recording: each data log gets its next record, recorded at the true instant
// `utc`, and overwrites its oldest beyond the --wrap size.
void record_next(ksim::Simulator& sim, const ksim::CommandLine& line, const ksim::Meter& meter,
                 std::int64_t utc) {
    for (const auto& entry : meter.logs) {
        if (entry.first == 0) continue;  // the event log records no events as time passes
        update_logs(sim, line.units, entry.first, [&line, utc](ksim::LogFile& log) {
            ksim::append_next_records(log, 1, utc, line.wall);
            ksim::wrap_log(log, *line.wrap);
        });
    }
}

// " units 1,2,5", or nothing for a single meter.
std::string units_text(const std::vector<std::uint8_t>& units) {
    std::string text;
    for (const std::uint8_t unit : units)
        text += (text.empty() ? " units " : ",") + std::to_string(unit);
    return text;
}

// Sets each --refuse-file-info refusal on the meter: every unit's copy refuses alike. False when
// the meter has no such log.
bool refuse_file_infos(ksim::Meter& meter, const std::vector<ksim::FileInfoRefusal>& refusals) {
    for (const ksim::FileInfoRefusal& refusal : refusals) {
        const auto log = meter.logs.find(refusal.file);
        if (log == meter.logs.end()) {
            std::fprintf(stderr,
                         "kolvane-sim: --refuse-file-info names log %d, but the meter has no "
                         "log %d\n",
                         refusal.file, refusal.file);
            return false;
        }
        log->second.var0_refusal = {refusal.code, false};
    }
    return true;
}

// Lifts the --refuse-file-info refusals given a count once that many File Info requests of their
// log came in: a request counts when the meter took it, whichever unit it went to (the read of
// its data is then refused however often it is read), not when the gateway answered it busy,
// refused it or left it unanswered. Runs as the request observer, which the simulator calls
// with its bus held, before it takes the next request.
class FileInfoCounts {
public:
    FileInfoCounts(ksim::Simulator& sim, const ksim::CommandLine& line)
        : sim_(sim), units_(line.units) {
        for (const ksim::FileInfoRefusal& refusal : line.file_info_refusals)
            if (refusal.times)
                left_[refusal.file] = *refusal.times;
            else
                left_.erase(refusal.file);  // the last one given for a log counts
    }

    bool any() const { return !left_.empty(); }

    void observe(const ksim::Request& request) {
        const std::vector<std::uint16_t>& words = request.values;
        const bool file_info = request.function == 16 &&
                               request.address == ksim::FILE_INFO_REQUEST && words.size() >= 2 &&
                               words[0] == 9 && (words.size() < 6 || words[5] == 0);
        if (!file_info || request.exception != 0 ||
            request.answered == std::chrono::steady_clock::time_point{})
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto left = left_.find(words[1]);
        if (left == left_.end() || --left->second > 0) return;
        update_logs(sim_, units_, left->first, [](ksim::LogFile& log) { log.var0_refusal = {}; });
        left_.erase(left);
    }

private:
    ksim::Simulator& sim_;
    std::vector<std::uint8_t> units_;
    std::mutex mutex_;
    std::map<int, int> left_;  // log file -> File Info requests still to refuse
};

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
        ksim::Meter meter = ksim::default_meter(line.model, line.records, now, 300, line.wall);
        if (!line.meter_file.empty()) {
            std::string error;
            if (!ksim::load_meter_file(line.meter_file, meter, error, now, line.wall)) {
                std::fprintf(stderr, "kolvane-sim: %s\n", error.c_str());
                return ksim::EXIT_USAGE;
            }
        }
        if (line.serial && meter.identity) meter.identity->serial = *line.serial;
        if (line.outage) {
            const std::int64_t down = ksim::newest_record_time(now) - 86400 + 60;
            ksim::add_power_outage(meter, down, down + 3600, line.wall);
        }
        if (line.wrap)
            for (auto& entry : meter.logs) ksim::wrap_log(entry.second, *line.wrap);
        if (!refuse_file_infos(meter, line.file_info_refusals)) return ksim::EXIT_USAGE;
        ksim::Simulator sim(meter.model);
        if (line.units.empty())
            sim.load(meter);
        else
            add_units(sim, meter, line.units);
        sim.set_journal_enabled(false);
        sim.set_latency(line.latency);
        sim.set_max_connections(line.max_connections);
        sim.set_min_gap(line.min_gap);
        // A muted unit never answers: its rules come before every refusal.
        for (const std::uint8_t unit : line.muted_units)
            sim.add_fault(ksim::Fault::no_reply().unit(unit));
        for (const ksim::Fault& refusal : line.refusals) sim.add_fault(refusal);
        for (const ksim::Fault& bad_crc : line.bad_crcs) sim.add_fault(bad_crc);
        auto counts = std::make_shared<FileInfoCounts>(sim, line);
        const auto started = std::chrono::steady_clock::now();
        if (line.journal || counts->any()) {
            sim.set_request_observer([counts, &line, started](const ksim::Request& request) {
                counts->observe(request);
                if (line.journal)
                    std::fprintf(stderr, "%s\n", ksim::journal_line(request, started).c_str());
            });
        }
        // Everything is served before anything is printed: a line that cannot be served ends
        // the program with nothing on standard output.
        const std::uint16_t bound = sim.start(line.port, line.listen);
        if (line.rtu_tcp) sim.start_rtu_tcp(*line.rtu_tcp, line.listen, line.rtu_line);
        if (!line.rtu_device.empty()) sim.start_rtu_serial(line.rtu_device, line.rtu_line);
        const char* model = ksim::model_name(meter.model);
        const std::string units = units_text(line.units);
        const std::string rtu_line = ksim::rtu_line_text(line.rtu_line);
        std::printf("kolvane-sim: %s listening on %s%s\n", model,
                    ksim::endpoint_text(line.listen, bound).c_str(), units.c_str());
        if (line.rtu_tcp)
            std::printf("kolvane-sim: %s RTU over TCP on %s, %s%s\n", model,
                        ksim::endpoint_text(line.listen, sim.rtu_tcp_port()).c_str(),
                        rtu_line.c_str(), units.c_str());
        if (!line.rtu_device.empty())
            std::printf("kolvane-sim: %s RTU on %s, %s%s\n", model, line.rtu_device.c_str(),
                        rtu_line.c_str(), units.c_str());
        std::fflush(stdout);

        const double start = static_cast<double>(now);
        std::int64_t next_record = ksim::newest_record_time(now) + 900;  // its true instant
        auto next_append = std::chrono::steady_clock::now() + line.record_every;
        for (;;) {
            timespec wait{1, 0};
            int sig = sigtimedwait(&signals, nullptr, &wait);
            if (sig == SIGINT || sig == SIGTERM) break;
            const auto tick = std::chrono::steady_clock::now();
            if (line.wrap && tick >= next_append) {
                record_next(sim, line, meter, next_record);
                next_record += 900;
                // One record per tick: after a pause (a suspended machine) it goes on from now.
                next_append = std::max(next_append + line.record_every, tick);
            }
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
