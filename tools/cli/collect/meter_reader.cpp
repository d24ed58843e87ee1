// SPDX-License-Identifier: MIT
#include "collect/meter_reader.hpp"

#include "collect/completeness.hpp"
#include "collect/log_checks.hpp"
#include "collect/parse.hpp"
#include "common/document.hpp"
#include "common/identity_check.hpp"
#include "common/interrupt.hpp"
#include "common/meter_clock.hpp"
#include "common/meter_lock.hpp"

#include <kolvane.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <utility>

namespace kcollect {
namespace {

using nlohmann::ordered_json;

// Rows per batch: large enough that a commit costs little per row, small enough that memory
// stays small while the queue is full.
constexpr std::size_t BATCH_ROWS = 500;

// A full read's deadline grows by this much per record the meter announces, so that a long log
// over a slow link completes instead of being cut at the same record every run.
constexpr int DEADLINE_PER_RECORD_MS = 25;
constexpr long long MAX_DEADLINE_MS = 86400LL * 1000;  // the library's limit

// A failure that ends the meter's collection, with the message for its line.
struct MeterFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One log's stream: parses each record and hands full batches to the writer.
struct LogStream {
    LogStream(Writer& w, std::shared_ptr<MeterTally> t, std::int64_t s, int f,
              const std::string& zone, const std::optional<std::string>& newest_stored)
        : writer(w), tally(std::move(t)), serial(s), file_id(f), to_utc(zone, newest_stored) {
        if (file_id > 0) watch.emplace(newest_stored);
    }

    Writer& writer;
    std::shared_ptr<MeterTally> tally;
    std::int64_t serial;
    int file_id;
    kcli::WallToUtc to_utc;         // the meter's wall time to true UTC, in the order it recorded
    std::optional<LogWatch> watch;  // a data log's interval, holes and days
    kdb::DatalogBatch datalog{serial, file_id, {}, {}};
    kdb::EventBatch events{serial, {}};
    int read = 0;
    std::optional<int> first_seq;           // of the first record delivered
    std::optional<int> last_seq;            // of the last record delivered
    std::string first_utc;                  // of the first record delivered
    std::string last_utc, before_last_utc;  // of the last two records delivered
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
};

extern "C" int take_record(const char* text, void* user) {
    auto& stream = *static_cast<LogStream*>(user);
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

// Calls a document operation, growing the buffer as the library asks.
std::string fetch(const kcli::DocumentCall& call) {
    const kcli::DocumentResult result = kcli::fetch_document(call);
    if (result.status < 0) throw MeterFailed(result.error);
    return result.text;
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

struct LogRead {
    int read = 0;
    std::string error;             // empty on success
    std::optional<int> after;      // the newest record stored before, the read resumed after
    std::optional<int> first_seq;  // of the first record read
    std::optional<std::string> newest_utc;  // of the newest record, read now or stored before
    double step_s = 0;                      // between the two newest records; 0: not known
    std::optional<kdb::GapRow> lost;        // records overwritten before they were collected
    std::optional<LogWatch> watch;          // of a data log
    // Whether the read resumed after the newest stored record, or else why it read the whole log.
    std::optional<std::string> full_read_reason() const {
        if (!after) return "nothing stored yet";
        if (!first_seq || *first_seq == (*after + 1) % 65536) return std::nullopt;
        return "the meter's log no longer holds record " + std::to_string(*after) +
               " (cleared or overwritten)";
    }
};

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

// Streams one log into the writer, only what is newer than the newest record stored of it;
// records delivered before a failure are kept. A full read is given time for every record the
// meter announces; a resumed one only the deadline, as it reads what is new. A resumed read cut
// by its deadline after it delivered records goes on after the last of them, so that the time
// allowed grows with what is read, not with the size of the log.
LogRead read_log(const Target& t, const kdb::MeterRow::Log& log, std::int64_t serial,
                 const std::optional<kdb::NewestRecord>& newest,
                 const std::shared_ptr<MeterTally>& tally, Writer& writer) {
    const std::optional<int> after = newest ? std::optional<int>(newest->seq) : std::nullopt;
    LogStream stream(writer, tally, serial, log.file_id, t.zone,
                     newest ? std::optional<std::string>(newest->recorded_at) : std::nullopt);
    for (std::optional<int> resume_after = after;;) {
        kcli::MeterOptions options = log_options(t.options, resume_after ? 0 : log.records);
        options.after_seq = resume_after;
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
        if (status >= 0) return result;
        result.error = stream.failure.empty() ? std::string(err) : stream.failure;
        const bool cut_after_progress = resume_after && stream.failure.empty() &&
                                        result.error.starts_with("Deadline of") &&
                                        stream.read > read_before && !kcli::interrupted();
        if (!cut_after_progress) return result;
        resume_after = stream.last_seq;
    }
}

// The start of every line about the meter: where it is and what the hosts file calls it.
ordered_json line_start(const Target& t) {
    ordered_json line = {{"host", t.host}, {"port", t.port}, {"unit", t.unit}};
    if (!t.name.empty()) line["name"] = t.name;
    line["meter"] = t.meter;
    return line;
}

// The meter's part of the summary: identity, then every log as it is read.
class Summary {
public:
    explicit Summary(const Target& t) : line_(line_start(t)) {}

    void identify(const kdb::MeterRow& meter) {
        line_["meter"] = meter.model;
        line_["serial"] = meter.serial;
    }
    void add_log(int file_id, int announced, const LogRead& r) {
        // A resumed read delivers only what is new; a full one must deliver what was announced.
        if (!r.error.empty() || (r.full_read_reason() && r.read < announced)) complete_ = false;
        ordered_json entry = {{"announced", announced}, {"read", r.read}};
        if (const auto reason = r.full_read_reason())
            entry["full_read"] = *reason;
        else
            entry["resumed_after"] = *r.after;
        if (r.lost) {
            entry["lost"] = r.lost->missing;
            warnings_.push_back(lost_warning(*r.lost));
        }
        if (!r.error.empty()) {
            entry["error"] = r.error;
            set_error(r.error);
        }
        if (file_id > 0) {
            ordered_json log = {{"file_id", file_id}};
            log.update(entry);
            datalog_.push_back(log);
        } else {
            eventlog_ = entry;
        }
    }
    void add_warning(const std::string& warning) { warnings_.push_back(warning); }
    // Compares the newest data log record with this host's clock.
    void check_clock(const std::string& newest_utc, double step_s) {
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::system_clock::now().time_since_epoch());
        newest_ = newest_utc;
        const std::string warning = clock_warning(newest_utc, step_s, kcli::utc_text(now.count()));
        if (!warning.empty()) warnings_.push_back(warning);
    }
    void set_live(int readings) { live_ = readings; }
    void set_live_error(const std::string& error) {
        live_error_ = error;
        set_error(error);
    }
    // The meter's first failure is the line's "error".
    void set_error(const std::string& error) {
        if (error_.empty()) error_ = error;
    }
    bool failed() const { return !error_.empty(); }

    // Called once the writer has committed the meter's batches: the new rows are final then.
    ordered_json finish(const MeterTally& tally, const Parts& parts) {
        if (parts.datalog && line_.contains("serial")) {
            for (auto& entry : datalog_)
                entry["new"] = tally.log_new[entry["file_id"].get<std::size_t>()].load();
            line_["datalog"] = datalog_;
        }
        if (parts.eventlog && !eventlog_.is_null()) {
            eventlog_["new"] = tally.log_new[0].load();
            line_["eventlog"] = eventlog_;
        }
        if (parts.live && live_) line_["live"] = *live_;
        if (parts.live && !live_error_.empty()) line_["live_error"] = live_error_;
        if (newest_) line_["newest_record"] = *newest_;
        if (!warnings_.empty()) line_["warnings"] = warnings_;
        if (line_.contains("serial")) line_["complete"] = complete_ && error_.empty();
        if (!error_.empty()) line_["error"] = error_;
        return line_;
    }

private:
    ordered_json line_;
    ordered_json datalog_ = ordered_json::array();
    ordered_json eventlog_;
    std::optional<int> live_;
    std::string live_error_;
    std::optional<std::string> newest_;  // UTC of the newest data log record
    std::vector<std::string> warnings_;
    bool complete_ = true;
    std::string error_;
};

// A failure after which the meter's other parts cannot succeed either.
bool ends_meter(const std::string& error, const Writer& writer, const MeterTally& tally) {
    return writer.failed(tally) || kcli::interrupted() || error.starts_with("Cannot connect");
}

// Completeness of the data logs that brought records, once they are committed: the events that
// tell why records are missing are stored by then too.
void record_days_and_holes(const Target& t, std::int64_t serial,
                           const std::vector<std::pair<int, LogRead>>& data_logs,
                           kdb::Database& store, Writer& writer, Summary& summary) {
    if (data_logs.empty()) return;
    writer.flush();
    for (const auto& [file_id, read] : data_logs) {
        try {
            record_completeness(store, writer, serial, file_id, t.zone, *read.watch,
                                read.lost ? std::optional(read.lost->gap_from) : std::nullopt);
        } catch (const std::exception& e) {
            summary.add_warning("data log " + std::to_string(file_id) +
                                ": completeness not known: " + e.what());
        }
    }
}

// Reads what `parts` asks for from a claimed meter. A log that fails does not keep the meter's
// other logs and live values from being read; each failure goes on the meter's line.
void read_parts(const Target& t, const Parts& parts, kdb::MeterRow meter, bool retimed,
                kdb::Database& store, const std::shared_ptr<MeterTally>& tally, Writer& writer,
                Summary& summary) {
    const std::string options = t.options.options_text();
    parse_log_directory(fetch([&](char* out, int out_len, char* err, int err_len) {
                            return kolvane_list_logs(t.host.c_str(), t.meter.c_str(),
                                                     options.c_str(), out, out_len, err, err_len);
                        }),
                        meter);
    const std::int64_t serial = meter.serial;
    const std::vector<kdb::MeterRow::Log> logs = meter.logs;
    writer.save(std::move(meter));
    // Stored records converted to another zone: the newest of each log is known once they are.
    if (retimed) writer.flush();
    std::optional<std::string> newest;  // the newest data log record, and its log's interval
    double step_s = 0;
    std::vector<std::pair<int, LogRead>> data_logs;
    for (const kdb::MeterRow::Log& log : logs) {
        if (log.file_id == 0 ? !parts.eventlog : !parts.datalog) continue;
        const LogRead read =
            read_log(t, log, serial, store.newest_record(serial, log.file_id), tally, writer);
        if (read.lost) writer.save(*read.lost);
        summary.add_log(log.file_id, log.records, read);
        if (log.file_id > 0 && read.newest_utc &&
            (!newest || kcli::utc_ms(*read.newest_utc) > kcli::utc_ms(*newest)))
            newest = read.newest_utc, step_s = read.step_s;
        if (log.file_id > 0 && read.read > 0) data_logs.emplace_back(log.file_id, read);
        if (!read.error.empty() && ends_meter(read.error, writer, *tally)) return;
    }
    if (newest) summary.check_clock(*newest, step_s);
    record_days_and_holes(t, serial, data_logs, store, writer, summary);
    if (parts.live) {
        try {
            kdb::ReadingBatch readings = parse_readings(
                fetch([&](char* out, int out_len, char* err, int err_len) {
                    return kolvane_read_live_ex(t.host.c_str(), t.meter.c_str(), options.c_str(),
                                                out, out_len, err, err_len);
                }),
                serial);
            summary.set_live(static_cast<int>(readings.rows.size()));
            writer.save(std::move(readings), tally);
        } catch (const MeterFailed& e) {
            summary.set_live_error(e.what());
        }
    }
}

std::string address_of(const std::string& host, int port, int unit) {
    return kcli::join_host_port(host, port) + " unit " + std::to_string(unit);
}

// Refuses what the database knows to be another meter: a serial collected as the other model,
// or one collected lately from another address.
void check_stored(const std::optional<kdb::StoredMeter>& stored, const kdb::MeterRow& meter,
                  const Target& t, std::chrono::seconds moved_after) {
    if (!stored) return;
    const std::string serial = std::to_string(meter.serial);
    if (stored->model != meter.model)
        throw MeterFailed("serial " + serial + " was collected as an " + stored->model +
                          ", it is named an " + meter.model + " now");
    if ((stored->host != t.host || stored->port != t.port || stored->unit != t.unit) &&
        stored->seconds_ago < static_cast<double>(moved_after.count()))
        throw MeterFailed("serial " + serial + " was collected from " +
                          address_of(stored->host, stored->port, stored->unit) + " " +
                          std::to_string(static_cast<long long>(stored->seconds_ago)) +
                          " s ago: two meters answer with one serial");
}

// Holds a meter for one reader, in this process and among the collectors sharing the store,
// for as long as it lives.
class MeterClaim {
public:
    MeterClaim(Claims& claims, kdb::Database& store, const kdb::MeterRow& meter, const Target& t,
               std::chrono::seconds moved_after)
        : claims_(claims), store_(store), serial_(meter.serial) {
        const std::string address = address_of(t.host, t.port, t.unit);
        std::string other;
        switch (claims_.claim(serial_, address, other)) {
            case Claims::Result::OTHER_ADDRESS:
                throw MeterFailed("serial " + std::to_string(serial_) + " is reported by " + other +
                                  " too: two meters answer with one serial");
            case Claims::Result::BUSY:
                return;
            case Claims::Result::CLAIMED:
                break;
        }
        try {
            stored_ = store_.stored_meter(serial_);
            check_stored(stored_, meter, t, moved_after);
            held_ = store_.claim(serial_);
        } catch (...) {
            claims_.release(serial_);
            throw;
        }
        if (!held_) claims_.release(serial_);
    }
    ~MeterClaim() {
        if (!held_) return;
        store_.release(serial_);
        claims_.release(serial_);
    }
    MeterClaim(const MeterClaim&) = delete;
    MeterClaim& operator=(const MeterClaim&) = delete;
    bool held() const { return held_; }
    // What the database held of the meter before this pass.
    const std::optional<kdb::StoredMeter>& stored() const { return stored_; }

private:
    Claims& claims_;
    kdb::Database& store_;
    std::int64_t serial_;
    bool held_ = false;
    std::optional<kdb::StoredMeter> stored_;
};

}  // namespace

Claims::Result Claims::claim(std::int64_t serial, const std::string& address, std::string& other) {
    std::lock_guard lock(mutex_);
    const auto [first, added] = addresses_.try_emplace(serial, address);
    if (!added && first->second != address) {
        other = first->second;
        return Result::OTHER_ADDRESS;
    }
    return reading_.insert(serial).second ? Result::CLAIMED : Result::BUSY;
}

void Claims::release(std::int64_t serial) {
    std::lock_guard lock(mutex_);
    reading_.erase(serial);
}

MeterOutcome collect_meter(const Target& t, const Parts& parts, kdb::Database& store,
                           Claims& claims, Writer& writer) {
    Summary summary(t);
    auto tally = std::make_shared<MeterTally>();
    MeterOutcome outcome;
    // Another kolvane on this machine transferring from the meter: it is read next time.
    const kcli::MeterLock transfer(t.host, t.port, t.unit, std::chrono::milliseconds(0));
    if (!transfer.held()) {
        outcome.line = line_start(t);
        outcome.line["busy"] = true;
        return outcome;
    }
    try {
        const std::string options = t.options.options_text();
        const std::string info = fetch([&](char* out, int out_len, char* err, int err_len) {
            return kolvane_read_device_info(t.host.c_str(), t.meter.c_str(), options.c_str(), out,
                                            out_len, err, err_len);
        });
        // Read as the other model, every value would be stored scaled wrongly, for good.
        if (const std::string problem = kcli::identity_mismatch(info, t.meter); !problem.empty())
            throw MeterFailed(problem);
        kdb::MeterRow meter = parse_identity(info, t.host, t.port);
        meter.unit = t.unit;
        meter.name = t.name;
        meter.clock_zone = t.zone;
        summary.identify(meter);
        const std::int64_t serial = meter.serial;
        // The meter keeps one read position per log: a second reader would leave gaps in both.
        const MeterClaim claim(claims, store, meter, t, parts.moved_after);
        if (!claim.held()) {
            outcome.line = line_start(t);
            outcome.line["meter"] = meter.model;
            outcome.line["serial"] = serial;
            outcome.line["busy"] = true;
            return outcome;
        }
        const bool retimed = claim.stored() && claim.stored()->clock_zone != t.zone;
        read_parts(t, parts, std::move(meter), retimed, store, tally, writer, summary);
    } catch (const std::exception& e) {  // MeterFailed, a malformed document or the store's failure
        summary.set_error(e.what());
    }
    outcome.failed = summary.failed();
    writer.flush();
    outcome.line = summary.finish(*tally, parts);
    return outcome;
}

MeterOutcome not_reached(const Target& t, const Parts& parts, const std::string& error) {
    Summary summary(t);
    summary.set_error(error);
    return {summary.finish(MeterTally{}, parts), true};
}

}  // namespace kcollect
