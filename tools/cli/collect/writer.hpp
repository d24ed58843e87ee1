// SPDX-License-Identifier: MIT
// The one thread that writes the store. Readers hand it batches through a bounded queue, so a
// slow database slows the readers down; a flush waits until a reader's batches are committed.
#pragma once

#include "collect/bounded_queue.hpp"
#include "database/database.hpp"

#include <array>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>

namespace kcollect {

// New rows stored for one meter, counted as its batches are committed.
struct MeterTally {
    std::array<std::atomic<std::int64_t>, 17>
        log_new{};  // by file id: 0 the event log, 1-16 data logs
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
    // Returns once everything handed over before has been written or dropped after a failure.
    void flush();

    // The first database failure; once there is one, later batches are dropped.
    bool failed() const { return failed_; }
    std::string error() const;

private:
    using Work = std::variant<kdb::MeterRow, kdb::DatalogBatch, kdb::EventBatch, kdb::ReadingBatch,
                              std::shared_ptr<std::promise<void>>>;
    struct Job {
        Work work;
        std::shared_ptr<MeterTally> tally;
    };
    void run();
    void write(Job& job);

    kdb::Database& store_;
    std::function<void(std::int64_t)> on_stored_;
    BoundedQueue<Job> queue_;
    std::atomic<bool> failed_{false};
    mutable std::mutex error_mutex_;
    std::string error_;
    std::thread thread_;
};

}  // namespace kcollect
