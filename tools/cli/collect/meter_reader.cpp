// SPDX-License-Identifier: MIT
#include "collect/meter_reader.hpp"

#include "collect/completeness.hpp"
#include "collect/log_checks.hpp"
#include "collect/log_reader.hpp"
#include "collect/parse.hpp"
#include "common/document.hpp"
#include "common/identity_check.hpp"
#include "common/interrupt.hpp"
#include "common/log_output.hpp"
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

// A failure that ends the meter's collection, with the message for its line.
struct MeterFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Calls a document operation, growing the buffer as the library asks.
std::string fetch(const kcli::DocumentCall& call) {
    const kcli::DocumentResult result = kcli::fetch_document(call);
    if (result.status < 0) throw MeterFailed(result.error);
    return result.text;
}

// The start of every line about the meter: where it is and what the hosts file calls it.
ordered_json line_start(const Target& t) {
    ordered_json line = {{"host", t.host}, {"port", t.port}, {"unit", t.unit}};
    if (const std::string transport = kcli::transport_of(t.host, t.options.line);
        transport != "tcp")
        line["transport"] = transport;
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

// The logs of the meter with records in the store, as a mask of file ids (bit n for file n).
std::uint32_t stored_logs(kdb::Database& store, std::int64_t serial) {
    std::uint32_t mask = 0;
    for (int file_id = 0; file_id <= 16; ++file_id)
        if (store.newest_record(serial, file_id)) mask |= 1u << file_id;
    return mask;
}

// A log whose records are stored and that the meter no longer lists: cleared, switched off or
// reconfigured on the meter, which the site should hear of.
void warn_of_unlisted(std::uint32_t stored, const std::vector<kdb::MeterRow::Log>& listed,
                      Summary& summary) {
    for (const kdb::MeterRow::Log& log : listed) stored &= ~(1u << log.file_id);
    for (int file_id = 0; file_id <= 16; ++file_id) {
        if ((stored >> file_id & 1u) == 0) continue;
        summary.add_warning((file_id > 0 ? "data log " + std::to_string(file_id) : "event log") +
                            ": records of it are stored, but the meter no longer lists it");
    }
}

// The meter's last collection was on an earlier UTC day than now, or long ago.
bool first_pass_of_day(double seconds_ago) {
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const auto last = now - static_cast<long long>(seconds_ago);
    return last / 86400 != now / 86400;
}

// Reads what `parts` asks for from a claimed meter. A log that fails does not keep the meter's
// other logs and live values from being read; each failure goes on the meter's line.
void read_parts(const Target& t, const Parts& parts, kdb::MeterRow meter, bool retimed,
                bool full_directory, kdb::Database& store, const std::shared_ptr<MeterTally>& tally,
                Writer& writer, Summary& summary) {
    const std::string options = t.options.options_text();
    const std::int64_t serial = meter.serial;
    const std::uint32_t stored = stored_logs(store, serial);
    const std::uint32_t known = stored | store.listed_logs(serial);
    // The whole directory (17 files) costs a gateway more requests than the rest of a resumed
    // pass: it is asked for in full on a meter's first pass of a day, else only for the logs it
    // listed before. A log added since is found on the next day's first pass, while the meter
    // still holds its records.
    const std::string listing =
        full_directory || known == 0
            ? options
            : options.substr(0, options.size() - 1) + ",\"files\":" + std::to_string(known) + "}";
    parse_log_directory(fetch([&](char* out, int out_len, char* err, int err_len) {
                            return kolvane_list_logs(t.host.c_str(), t.meter.c_str(),
                                                     listing.c_str(), out, out_len, err, err_len);
                        }),
                        meter);
    warn_of_unlisted(stored, meter.logs, summary);
    const std::vector<kdb::MeterRow::Log> logs = meter.logs;
    writer.save(std::move(meter));
    // Stored records converted to another zone: the newest of each log is known once they are.
    if (retimed) writer.flush();
    std::optional<std::string> newest;  // the newest data log record, and its log's interval
    double step_s = 0;
    std::vector<std::pair<int, LogRead>> data_logs;
    for (const kdb::MeterRow::Log& log : logs) {
        if (log.file_id == 0 ? !parts.eventlog : !parts.datalog) continue;
        const LogRead read = read_log(t, log, serial, store.newest_record(serial, log.file_id),
                                      store, tally, writer);
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
    kcli::take_retries();  // this meter's calls run on this thread: count only theirs
    // Another kolvane on this machine transferring from the meter: it is read next time.
    const kcli::MeterLock transfer(t.host, t.port, t.unit, std::chrono::milliseconds(0));
    // A lock that cannot be taken fails the meter: read unlocked, it could lose records.
    if (!transfer.error().empty()) return not_reached(t, parts, transfer.error());
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
        meter.transport = kcli::transport_of(t.host, t.options.line);
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
        const bool full_directory =
            !claim.stored() || first_pass_of_day(claim.stored()->seconds_ago);
        read_parts(t, parts, std::move(meter), retimed, full_directory, store, tally, writer,
                   summary);
    } catch (const std::exception& e) {  // MeterFailed, a malformed document or the store's failure
        summary.set_error(e.what());
    }
    outcome.failed = summary.failed();
    writer.flush();
    outcome.line = summary.finish(*tally, parts);
    if (const int retries = kcli::take_retries(); retries > 0) outcome.line["retries"] = retries;
    return outcome;
}

MeterOutcome not_reached(const Target& t, const Parts& parts, const std::string& error) {
    Summary summary(t);
    summary.set_error(error);
    return {summary.finish(MeterTally{}, parts), true};
}

}  // namespace kcollect
