// SPDX-License-Identifier: MIT
#include "collect/runner.hpp"

#include "collect/pass_record.hpp"
#include "collect/progress_line.hpp"
#include "collect/workers.hpp"
#include "common/exit_status.hpp"
#include "common/gateway_queue.hpp"
#include "common/host_port.hpp"
#include "common/interrupt.hpp"
#include "common/output.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace kcollect {
namespace {

// Batches waiting for the store, per worker: enough to keep the writer busy, few enough that
// memory stays small (a batch holds at most a few hundred rows).
constexpr std::size_t QUEUED_BATCHES_PER_JOB = 4;

// After Ctrl-C the readers stop at their next record, but one waiting on a meter that does not
// answer would hold the tool for up to -t: it gets this long, then the tool leaves without it.
constexpr auto GRACE = std::chrono::milliseconds(500);
// How long the readers released by the last commit get to print their lines.
constexpr auto LAST_LINES = std::chrono::milliseconds(200);
// How often the wait for the readers looks for Ctrl-C.
constexpr auto POLL = std::chrono::milliseconds(50);

std::chrono::steady_clock::time_point from_now(std::chrono::milliseconds delay) {
    return std::chrono::steady_clock::now() + delay;
}

// Waits for the readers. After Ctrl-C and the grace, it commits what the writer holds and ends
// the process with status 130 while readers still sit in library calls: nothing half written,
// as each batch is one transaction and the writer is idle then, and no line cut, as it holds
// the output lock.
void wait_for_readers(Workers& readers, Writer& writer, ProgressLine& progress,
                      std::mutex& output) {
    while (!readers.wait_until(from_now(POLL))) {
        if (!kcli::interrupted() || readers.wait_until(from_now(GRACE))) continue;
        writer.flush_and_close();
        readers.wait_until(from_now(LAST_LINES));
        std::lock_guard lock(output);
        progress.clear();
        std::_Exit(kcli::finish_stdout(kcli::INTERRUPTED));
    }
}

// Says on the meter's summary line when its batches went through a reconnect.
void note_reconnect(nlohmann::ordered_json& line, const Writer& writer) {
    if (line.contains("serial") && !line.contains("busy") &&
        writer.reconnected(line["serial"].get<std::int64_t>()))
        line["reconnected"] = true;
}

// Reads the queue's next meter, or fails it at once when its gateway could not be reached; a
// meter that cannot be connected to fails the rest of its gateway's meters of the pass. Either
// way the collections table gets the meter's part of the pass.
MeterOutcome read_next(const RunSettings& settings, const kcli::GatewayQueue::Item& item,
                       kcli::GatewayQueue& queue, kdb::Database& store, Claims& claims,
                       Writer& writer) {
    const Target& target = settings.targets[item.index];
    const std::string started = now_utc();
    MeterOutcome outcome;
    if (item.gateway_failure) {
        outcome = not_reached(target, settings.parts, *item.gateway_failure);
    } else {
        outcome = collect_meter(target, settings.parts, store, claims, writer);
        const std::string error = outcome.line.value("error", "");
        if (kcli::is_connect_failure(error))
            outcome.line["error"] = queue.fail_gateway(item.index, error);
        queue.done(item.index);
    }
    writer.save(pass_record(outcome.line, started, now_utc()));
    return outcome;
}

std::vector<std::string> gateways_of(const std::vector<Target>& targets) {
    std::vector<std::string> gateways;
    for (const Target& target : targets)
        gateways.push_back(kcli::join_host_port(target.host, target.port));
    return gateways;
}

// One pass over every target. Returns the exit status of the pass.
int collect_once(const RunSettings& settings, kdb::Database& store) {
    const auto count = static_cast<int>(settings.targets.size());
    if (count == 0) return kcli::SUCCESS;
    ProgressLine progress(count);
    Claims claims;
    std::atomic<bool> any_failed{false};
    std::mutex output;
    std::string store_error;
    {
        const auto jobs = std::clamp(settings.jobs, 1, count);
        Writer writer(store, QUEUED_BATCHES_PER_JOB * static_cast<std::size_t>(jobs),
                      [&](std::int64_t rows) { progress.rows_stored(rows); });
        kcli::GatewayQueue queue(gateways_of(settings.targets), settings.per_gateway);
        auto stop = [&] { return kcli::interrupted() || writer.failed(); };
        auto worker = [&] {
            while (const auto item = queue.next(stop)) {
                MeterOutcome outcome = read_next(settings, *item, queue, store, claims, writer);
                if (outcome.failed) any_failed = true;
                note_reconnect(outcome.line, writer);
                const std::string line = outcome.line.dump();
                std::lock_guard lock(output);
                progress.clear();
                kcli::write_stdout_line(line);
                progress.meter_done();
            }
        };
        {
            Workers readers(jobs, worker);
            wait_for_readers(readers, writer, progress, output);
        }
        writer.flush();
        if (writer.failed()) store_error = writer.error();
    }
    if (kcli::interrupted()) return kcli::INTERRUPTED;
    if (!store_error.empty()) {
        kcli::print_diagnostic(store_error.c_str());
        return kcli::FAILURE;
    }
    return any_failed ? kcli::FAILURE : kcli::SUCCESS;
}

// Sleeps until `until` or an interrupt, whichever comes first.
void sleep_until(std::chrono::steady_clock::time_point until) {
    while (!kcli::interrupted() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(200), until - std::chrono::steady_clock::now()));
}

}  // namespace

int run_collection(const RunSettings& settings, kdb::Database& store) {
    // Ctrl-C only raises a flag from here on: the readers stop at their next record, and every
    // batch already handed to the writer is committed before the tool exits.
    kcli::CancellableScope scope;
    for (;;) {
        const auto started = std::chrono::steady_clock::now();
        const int status = collect_once(settings, store);
        if (!settings.every || status == kcli::INTERRUPTED) return status;
        sleep_until(started + *settings.every);
        if (kcli::interrupted()) return kcli::INTERRUPTED;
    }
}

}  // namespace kcollect
