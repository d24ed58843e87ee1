// SPDX-License-Identifier: MIT
// The one thread that writes the store. Readers hand it batches through a bounded queue, so a
// slow database slows the readers down; a flush waits until a reader's batches are committed.
#pragma once

#include "collect/bounded_queue.hpp"
#include "database/database.hpp"
#include "energy/kept_energy.hpp"

#include <array>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <variant>

namespace kcollect {

// New rows stored for one meter, counted as its batches are committed.
struct MeterTally {
    std::array<std::atomic<std::int64_t>, 17>
        log_new{};  // by file id: 0 the event log, 1-16 data logs

    // Set once the meter must not be read on: the collector lost its claim.
    void stop(const std::string& why);
    bool stopped() const { return stopped_; }
    std::string why_stopped() const;

private:
    std::atomic<bool> stopped_{false};
    mutable std::mutex mutex_;
    std::string why_;
};

class Writer {
public:
    // `on_stored` is called on the writing thread after each committed batch with its new rows.
    Writer(kdb::Database& store, std::size_t capacity, std::function<void(std::int64_t)> on_stored);
    ~Writer();  // writes what is queued, then stops
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void save(kdb::MeterRow meter);
    void save(kdb::DatalogBatch batch, const std::shared_ptr<MeterTally>& tally);
    void save(kdb::EventBatch batch, const std::shared_ptr<MeterTally>& tally);
    void save(kdb::ReadingBatch batch, const std::shared_ptr<MeterTally>& tally);
    void save(kdb::CollectionRow row);
    void save(kdb::GapRow gap);
    void save(kdb::DayRow day);
    // Keeps the energy of a data log up to the records handed over before.
    void keep_energy(kenergy::NewRecords records);
    // Returns once everything handed over before has been written or dropped after a failure.
    void flush();
    // Like flush(), and everything handed over later is dropped: the tool may end the process
    // as soon as it returns, with no transaction half done.
    void flush_and_close();

    // The first database failure; once there is one, later batches are dropped.
    bool failed() const { return failed_; }
    std::string error() const;
    // Also true once the meter of `tally` must not be read on; error() then says why.
    bool failed(const MeterTally& tally) const { return failed_ || tally.stopped(); }
    std::string error(const MeterTally& tally) const;

    // True when a batch of the meter was written over a connection opened again after it was
    // lost. Final once the meter's batches are flushed.
    bool reconnected(std::int64_t serial) const;

private:
    struct Flush {
        std::shared_ptr<std::promise<void>> done;
        bool close = false;  // drop everything after it
    };
    using Work =
        std::variant<kdb::MeterRow, kdb::DatalogBatch, kdb::EventBatch, kdb::ReadingBatch,
                     kdb::CollectionRow, kdb::GapRow, kdb::DayRow, kenergy::NewRecords, Flush>;
    struct Job {
        Work work;
        std::shared_ptr<MeterTally> tally;
    };
    void run();
    void write(Job& job);
    void wait_for(bool close);

    kdb::Database& store_;
    std::function<void(std::int64_t)> on_stored_;
    BoundedQueue<Job> queue_;
    std::atomic<bool> failed_{false};
    bool closed_ = false;  // on the writing thread only
    mutable std::mutex mutex_;
    std::string error_;
    std::set<std::int64_t> reconnected_;
    std::thread thread_;
};

}  // namespace kcollect
