// SPDX-License-Identifier: MIT
#include "collect/writer.hpp"

namespace kcollect {

Writer::Writer(kdb::Database& store, std::size_t capacity,
               std::function<void(std::int64_t)> on_stored)
    : store_(store),
      on_stored_(std::move(on_stored)),
      queue_(capacity),
      thread_([this] { run(); }) {}

Writer::~Writer() {
    queue_.close();
    thread_.join();
}

void Writer::save(kdb::MeterRow meter) { queue_.push({std::move(meter), nullptr}); }
void Writer::save(kdb::DatalogBatch batch, const std::shared_ptr<MeterTally>& tally) {
    queue_.push({std::move(batch), tally});
}
void Writer::save(kdb::EventBatch batch, const std::shared_ptr<MeterTally>& tally) {
    queue_.push({std::move(batch), tally});
}
void Writer::save(kdb::ReadingBatch batch, const std::shared_ptr<MeterTally>& tally) {
    queue_.push({std::move(batch), tally});
}

void Writer::flush() {
    auto done = std::make_shared<std::promise<void>>();
    auto written = done->get_future();
    queue_.push({done, nullptr});
    written.wait();
}

std::string Writer::error() const {
    std::lock_guard lock(error_mutex_);
    return error_;
}

void Writer::run() {
    while (auto job = queue_.pop()) write(*job);
}

void Writer::write(Job& job) {
    if (auto* done = std::get_if<std::shared_ptr<std::promise<void>>>(&job.work)) {
        (*done)->set_value();
        return;
    }
    if (failed_) return;
    try {
        std::int64_t stored = 0;
        if (auto* meter = std::get_if<kdb::MeterRow>(&job.work)) {
            store_.save_meter(*meter);
        } else if (auto* log = std::get_if<kdb::DatalogBatch>(&job.work)) {
            stored = store_.save_datalog(*log);
            job.tally->log_new[static_cast<std::size_t>(log->file_id)] += stored;
        } else if (auto* events = std::get_if<kdb::EventBatch>(&job.work)) {
            stored = store_.save_events(*events);
            job.tally->log_new[0] += stored;
        } else if (auto* readings = std::get_if<kdb::ReadingBatch>(&job.work)) {
            stored = store_.save_readings(*readings);
        }
        if (on_stored_) on_stored_(stored);
    } catch (const std::exception& e) {
        std::lock_guard lock(error_mutex_);
        error_ = e.what();
        failed_ = true;
    }
}

}  // namespace kcollect
