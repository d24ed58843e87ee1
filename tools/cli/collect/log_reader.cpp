// SPDX-License-Identifier: MIT
#include "collect/log_reader.hpp"

#include "collect/log_checks.hpp"
#include "collect/parse.hpp"
#include "common/interrupt.hpp"
#include "common/meter_clock.hpp"
#include "energy/counter_series.hpp"

#include <kolvane.h>

#include <algorithm>
#include <utility>

namespace kcollect {
namespace {

// Rows per batch: large enough that a commit costs little per row, small enough that memory
// stays small while the queue is full.
constexpr std::size_t BATCH_ROWS = 500;

// A full read's deadline grows by this much per record the meter announces, so that a long log
// over a slow link completes instead of being cut at the same record every run.
constexpr int DEADLINE_PER_RECORD_MS = 25;
constexpr long long MAX_DEADLINE_MS = 86400LL * 1000;  // the library's limit

// One log's stream: parses each record and hands full batches to the writer.
struct LogStream {
    LogStream(kdb::Database& d, Writer& w, std::shared_ptr<MeterTally> t, std::int64_t s, int f,
              const std::string& zone, const std::optional<std::string>& newest_stored)
        : store(d),
          writer(w),
          tally(std::move(t)),
          serial(s),
          file_id(f),
          zone(zone),
          to_utc(zone, newest_stored) {
        if (file_id > 0) watch.emplace(newest_stored);
    }

    kdb::Database& store;
    Writer& writer;
    std::shared_ptr<MeterTally> tally;
    std::int64_t serial;
    int file_id;
    std::string zone;               // of the meter's clock
    kcli::WallToUtc to_utc;         // the meter's wall time to true UTC, in the order it recorded
    std::optional<LogWatch> watch;  // a data log's interval, holes and days
    kdb::DatalogBatch datalog{serial, file_id, {}, {}};
    kdb::EventBatch events{serial, {}};
    int read = 0;
    std::optional<int> first_seq;           // of the first record delivered
    std::optional<int> last_seq;            // of the last record delivered
    std::string first_utc;                  // of the first record delivered
    std::string last_utc, before_last_utc;  // of the last two records delivered
    std::string last_meter_time;            // the meter's stamp of the last record delivered
    std::string failure;  // a record that could not be taken, or the database's failure

    void add(const std::string& text) {
        if (is_header(text)) {
            if (file_id > 0) datalog.columns = parse_datalog_header(text);
            return;
        }
        if (file_id > 0) {
            const kdb::DatalogRow& row =
                keep_times(datalog.rows.emplace_back(parse_datalog_record(text)));
            watch->add(row.recorded_at, row.meter_time);
        } else
            keep_times(events.rows.emplace_back(parse_event_record(text)));
        last_seq = file_id > 0 ? datalog.rows.back().seq : events.rows.back().seq;
        last_meter_time =
            file_id > 0 ? datalog.rows.back().meter_time : events.rows.back().meter_time;
        before_last_utc = std::exchange(last_utc, file_id > 0 ? datalog.rows.back().recorded_at
                                                              : events.rows.back().recorded_at);
        if (!first_seq) first_seq = last_seq, first_utc = last_utc;
        ++read;
        if (datalog.rows.size() + events.rows.size() >= BATCH_ROWS) hand_over();
    }

    // The library prints the meter's wall time as it stands: kept as such, and as true UTC.
    template <typename Row>
    Row& keep_times(Row& row) {
        row.meter_time = kcli::wall_text(row.recorded_at);
        row.recorded_at = to_utc(row.recorded_at);
        return row;
    }

    void hand_over() {
        if (!datalog.rows.empty())
            writer.save(
                std::exchange(datalog, kdb::DatalogBatch{serial, file_id, datalog.columns, {}}),
                tally);
        if (!events.rows.empty())
            writer.save(std::exchange(events, kdb::EventBatch{serial, {}}), tally);
    }

    // Once a data log's records are handed over: its energy kept up to them.
    void keep_energy() {
        if (file_id == 0) return;
        kenergy::NewRecords records{serial, file_id, zone, {}, std::nullopt};
        if (!first_utc.empty()) records.first = first_utc;
        for (const kdb::Column& column : datalog.columns)
            if (kenergy::is_energy_unit(column.unit))
                records.counters.push_back({column.name, column.unit});
        writer.keep_energy(std::move(records));
    }
};

// Stops the meter, with the reason, once this collector no longer holds its claim: another
// collector may be reading it, and the meter's window serves one transfer at a time.
bool claim_lost(kdb::Database& store, std::int64_t serial, MeterTally& tally) {
    try {
        store.confirm_claim(serial);
        return false;
    } catch (const std::exception& e) {
        tally.stop(e.what());
        return true;
    }
}

extern "C" int take_record(const char* text, void* user) {
    auto& stream = *static_cast<LogStream*>(user);
    // Checked before each record is taken, so that the meter's next request never goes out
    // once the claim is gone: the records of the block in hand are left out with it.
    if (claim_lost(stream.store, stream.serial, *stream.tally)) {
        stream.failure = stream.writer.error(*stream.tally);
        return 1;
    }
    try {
        stream.add(text);
    } catch (const std::exception& e) {
        stream.failure = std::string("Cannot take a record: ") + e.what();
        return 1;
    }
    if (stream.writer.failed(*stream.tally)) {
        stream.failure = stream.writer.error(*stream.tally);
        return 1;
    }
    return kcli::interrupted() ? 1 : 0;
}

kcli::MeterOptions log_options(const kcli::MeterOptions& options, int records) {
    kcli::MeterOptions own = options;
    const int deadline_ms = options.deadline_ms();
    if (deadline_ms > 0) {
        const long long grown =
            deadline_ms + static_cast<long long>(std::max(records, 0)) * DEADLINE_PER_RECORD_MS;
        own.deadline_s = static_cast<double>(std::min<long long>(grown, MAX_DEADLINE_MS)) / 1000;
    }
    return own;
}

// The read so far: counts, the newest record and the records lost before collection.
LogRead what_was_read(const LogStream& stream, std::int64_t serial, int file_id,
                      const std::optional<kdb::NewestRecord>& stored) {
    LogRead read{stream.read, {}, {}, stream.first_seq, {}, 0, {}, stream.watch};
    if (stored) read.after = stored->seq;
    std::optional<std::string> before;
    if (!stream.last_utc.empty()) {
        read.newest_utc = stream.last_utc;
        if (!stream.before_last_utc.empty())
            before = stream.before_last_utc;
        else if (stored)
            before = stored->recorded_at;
    } else if (stored) {
        read.newest_utc = stored->recorded_at;
        before = stored->before;
    }
    if (read.newest_utc && before)
        read.step_s =
            static_cast<double>(kcli::utc_ms(*read.newest_utc) - kcli::utc_ms(*before)) / 1000;
    if (stored && stream.first_seq && read.full_read_reason())
        read.lost = records_lost(serial, file_id, *stored, *stream.first_seq, stream.first_utc);
    return read;
}

}  // namespace

// Streams one log into the writer, only what is newer than the newest record stored of it;
// records delivered before a failure are kept. A full read is given time for every record the
// meter announces; a resumed one only the deadline, as it reads what is new. A resumed read cut
// by its deadline after it delivered records goes on after the last of them, so that the time
// allowed grows with what is read, not with the size of the log.
LogRead read_log(const Target& t, const kdb::MeterRow::Log& log, std::int64_t serial,
                 const std::optional<kdb::NewestRecord>& newest, kdb::Database& store,
                 const std::shared_ptr<MeterTally>& tally, Writer& writer) {
    const std::optional<int> after = newest ? std::optional<int>(newest->seq) : std::nullopt;
    if (claim_lost(store, serial, *tally)) {
        LogRead lost;
        lost.error = writer.error(*tally);
        return lost;
    }
    LogStream stream(store, writer, tally, serial, log.file_id, t.zone,
                     newest ? std::optional<std::string>(newest->recorded_at) : std::nullopt);
    // The meter's record at the anchor must carry the stamp stored of it: a log that started
    // again under the same numbers is read whole.
    std::string anchor_time = newest ? newest->meter_time : std::string();
    for (std::optional<int> resume_after = after;;) {
        kcli::MeterOptions options = log_options(t.options, resume_after ? 0 : log.records);
        options.after_seq = resume_after;
        if (resume_after && !anchor_time.empty())
            options.after_time_ms = kcli::utc_ms(anchor_time + "Z");
        const std::string text = options.options_text();
        const int read_before = stream.read;
        char err[1024];
        const int status =
            log.file_id > 0
                ? kolvane_read_datalog(t.host.c_str(), t.meter.c_str(), log.file_id, text.c_str(),
                                       take_record, &stream, err, sizeof err)
                : kolvane_read_eventlog(t.host.c_str(), t.meter.c_str(), 0, text.c_str(),
                                        take_record, &stream, err, sizeof err);
        stream.hand_over();
        LogRead result = what_was_read(stream, serial, log.file_id, newest);
        if (status >= 0) {
            stream.keep_energy();
            return result;
        }
        result.error = stream.failure.empty() ? std::string(err) : stream.failure;
        const bool cut_after_progress = resume_after && stream.failure.empty() &&
                                        result.error.starts_with("Deadline of") &&
                                        stream.read > read_before && !kcli::interrupted();
        if (!cut_after_progress) {
            stream.keep_energy();
            return result;
        }
        resume_after = stream.last_seq;
        anchor_time = stream.last_meter_time;
    }
}

}  // namespace kcollect
