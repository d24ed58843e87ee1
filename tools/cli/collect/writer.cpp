// SPDX-License-Identifier: MIT
#include "collect/writer.hpp"

namespace kcollect {

void MeterTally::stop(const std::string& why) {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    why_ = why;
    stopped_ = true;
}

std::string MeterTally::why_stopped() const {
    std::lock_guard lock(mutex_);
    return why_;
}

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

void Writer::save(kdb::CollectionRow row) { queue_.push({std::move(row), nullptr}); }
void Writer::save(kdb::GapRow gap) { queue_.push({std::move(gap), nullptr}); }
void Writer::save(kdb::DayRow day) { queue_.push({std::move(day), nullptr}); }
void Writer::keep_energy(kenergy::NewRecords records) {
    queue_.push({std::move(records), nullptr});
}

void Writer::flush() { wait_for(false); }

void Writer::flush_and_close() { wait_for(true); }

void Writer::wait_for(bool close) {
    auto done = std::make_shared<std::promise<void>>();
    auto written = done->get_future();
    queue_.push({Flush{done, close}, nullptr});
    written.wait();
}

std::string Writer::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::string Writer::error(const MeterTally& tally) const {
    return tally.stopped() ? tally.why_stopped() : error();
}

bool Writer::reconnected(std::int64_t serial) const {
    std::lock_guard lock(mutex_);
    return reconnected_.contains(serial);
}

void Writer::run() {
    while (auto job = queue_.pop()) write(*job);
}

void Writer::write(Job& job) {
    if (auto* flush = std::get_if<Flush>(&job.work)) {
        closed_ = closed_ || flush->close;
        flush->done->set_value();
        return;
    }
    if (failed_ || closed_) return;
    std::int64_t serial = 0;
    try {
        const std::int64_t reconnections = store_.reconnections();
        std::int64_t stored = 0;
        if (auto* meter = std::get_if<kdb::MeterRow>(&job.work)) {
            serial = meter->serial;
            store_.save_meter(*meter);
        } else if (auto* log = std::get_if<kdb::DatalogBatch>(&job.work)) {
            serial = log->serial;
            stored = store_.save_datalog(*log);
            job.tally->log_new[static_cast<std::size_t>(log->file_id)] += stored;
        } else if (auto* events = std::get_if<kdb::EventBatch>(&job.work)) {
            serial = events->serial;
            stored = store_.save_events(*events);
            job.tally->log_new[0] += stored;
        } else if (auto* readings = std::get_if<kdb::ReadingBatch>(&job.work)) {
            serial = readings->serial;
            stored = store_.save_readings(*readings);
        } else if (auto* pass = std::get_if<kdb::CollectionRow>(&job.work)) {
            store_.save_collection(*pass);
        } else if (auto* gap = std::get_if<kdb::GapRow>(&job.work)) {
            serial = gap->serial;
            store_.save_gap(*gap);
        } else if (auto* day = std::get_if<kdb::DayRow>(&job.work)) {
            serial = day->serial;
            store_.save_day(*day);
        } else if (auto* records = std::get_if<kenergy::NewRecords>(&job.work)) {
            serial = records->serial;
            kenergy::keep_energy(store_, *records);
        }
        if (store_.reconnections() != reconnections) {
            std::lock_guard lock(mutex_);
            reconnected_.insert(serial);
        }
        if (on_stored_) on_stored_(stored);
    } catch (const std::exception& e) {
        std::lock_guard lock(mutex_);
        error_ = e.what();
        failed_ = true;
        return;
    }
    // The claim may have gone with a lost connection while the meter was being read; its
    // batches so far are good records all the same.
    if (job.tally) {
        try {
            store_.confirm_claim(serial);
        } catch (const std::exception& e) {
            job.tally->stop(e.what());
        }
    }
}

}  // namespace kcollect
