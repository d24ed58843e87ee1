// SPDX-License-Identifier: MIT
#include "collect/runner.hpp"

#include "collect/progress_line.hpp"
#include "common/exit_status.hpp"
#include "common/interrupt.hpp"
#include "common/output.hpp"

#include <algorithm>
#include <atomic>
#include <thread>

namespace kcollect {
namespace {

// Batches waiting for the store, per worker: enough to keep the writer busy, few enough that
// memory stays small (a batch holds at most a few hundred rows).
constexpr std::size_t QUEUED_BATCHES_PER_JOB = 4;

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
        std::atomic<std::size_t> next{0};
        auto worker = [&] {
            for (std::size_t i; !kcli::interrupted() && !writer.failed() &&
                                (i = next++) < settings.targets.size();) {
                const MeterOutcome outcome =
                    collect_meter(settings.targets[i], settings.parts, store, claims, writer);
                if (outcome.failed) any_failed = true;
                std::lock_guard lock(output);
                progress.clear();
                kcli::write_stdout_line(outcome.line.dump());
                progress.meter_done();
            }
        };
        std::vector<std::jthread> workers;
        for (int t = 0; t < jobs; ++t) workers.emplace_back(worker);
        workers.clear();  // joins
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
