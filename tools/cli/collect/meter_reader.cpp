// SPDX-License-Identifier: MIT
#include "collect/meter_reader.hpp"

#include "collect/parse.hpp"
#include "common/document.hpp"
#include "common/interrupt.hpp"

#include <kolvane.h>

#include <stdexcept>
#include <utility>

namespace kcollect {
namespace {

using nlohmann::ordered_json;

// Rows per batch: large enough that a commit costs little per row, small enough that memory
// stays small while the queue is full.
constexpr std::size_t BATCH_ROWS = 500;

// A failure that ends the meter's collection, with the message for its line.
struct MeterFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One log's stream: parses each record and hands full batches to the writer.
struct LogStream {
    LogStream(Writer& w, std::shared_ptr<MeterTally> t, std::int64_t s, int f)
        : writer(w), tally(std::move(t)), serial(s), file_id(f) {}

    Writer& writer;
    std::shared_ptr<MeterTally> tally;
    std::int64_t serial;
    int file_id;
    kdb::DatalogBatch datalog{serial, file_id, {}, {}};
    kdb::EventBatch events{serial, {}};
    int read = 0;
    std::string failure;  // a record that could not be taken, or the database's failure

    void add(const std::string& text) {
        if (is_header(text)) {
            if (file_id > 0) datalog.columns = parse_datalog_header(text);
            return;
        }
        if (file_id > 0)
            datalog.rows.push_back(parse_datalog_record(text));
        else
            events.rows.push_back(parse_event_record(text));
        ++read;
        if (datalog.rows.size() + events.rows.size() >= BATCH_ROWS) hand_over();
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
    if (stream.writer.failed()) {
        stream.failure = stream.writer.error();
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

struct LogRead {
    int read = 0;
    std::string error;  // empty on success
};

// Streams one log into the writer; records delivered before a failure are kept.
LogRead read_log(const Target& t, int file_id, std::int64_t serial,
                 const std::shared_ptr<MeterTally>& tally, Writer& writer) {
    LogStream stream(writer, tally, serial, file_id);
    char err[1024];
    const int status =
        file_id > 0 ? kolvane_read_datalog(t.host.c_str(), t.meter.c_str(), file_id,
                                           t.options.c_str(), take_record, &stream, err, sizeof err)
                    : kolvane_read_eventlog(t.host.c_str(), t.meter.c_str(), 0, t.options.c_str(),
                                            take_record, &stream, err, sizeof err);
    stream.hand_over();
    if (status >= 0) return {stream.read, {}};
    return {stream.read, stream.failure.empty() ? std::string(err) : stream.failure};
}

// The meter's part of the summary: identity, then every log as it is read.
class Summary {
public:
    explicit Summary(const Target& t) {
        line_ = {{"host", t.host}, {"port", t.port}, {"meter", t.meter}};
    }

    void identify(const kdb::MeterRow& meter) {
        line_["meter"] = meter.model;
        line_["serial"] = meter.serial;
    }
    void add_log(int file_id, int announced, const LogRead& r) {
        if (r.read < announced) complete_ = false;
        if (file_id > 0)
            datalog_.push_back({{"file_id", file_id}, {"announced", announced}, {"read", r.read}});
        else
            eventlog_ = {{"announced", announced}, {"read", r.read}};
    }
    void set_live(int readings) { live_ = readings; }
    void set_error(const std::string& error) { error_ = error; }

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
        if (line_.contains("serial")) line_["complete"] = complete_ && error_.empty();
        if (!error_.empty()) line_["error"] = error_;
        return line_;
    }

private:
    ordered_json line_;
    ordered_json datalog_ = ordered_json::array();
    ordered_json eventlog_;
    std::optional<int> live_;
    bool complete_ = true;
    std::string error_;
};

// Reads what `parts` asks for from a claimed meter; throws MeterFailed at the first failure.
void read_parts(const Target& t, const Parts& parts, kdb::MeterRow meter,
                const std::shared_ptr<MeterTally>& tally, Writer& writer, Summary& summary) {
    parse_log_directory(fetch([&](char* out, int out_len, char* err, int err_len) {
                            return kolvane_list_logs(t.host.c_str(), t.meter.c_str(),
                                                     t.options.c_str(), out, out_len, err, err_len);
                        }),
                        meter);
    const std::int64_t serial = meter.serial;
    const std::vector<kdb::MeterRow::Log> logs = meter.logs;
    writer.save(std::move(meter));
    for (const kdb::MeterRow::Log& log : logs) {
        if (log.file_id == 0 ? !parts.eventlog : !parts.datalog) continue;
        const LogRead read = read_log(t, log.file_id, serial, tally, writer);
        summary.add_log(log.file_id, log.records, read);
        if (!read.error.empty()) throw MeterFailed(read.error);
    }
    if (parts.live) {
        kdb::ReadingBatch readings = parse_readings(
            fetch([&](char* out, int out_len, char* err, int err_len) {
                return kolvane_read_live_ex(t.host.c_str(), t.meter.c_str(), t.options.c_str(), out,
                                            out_len, err, err_len);
            }),
            serial);
        summary.set_live(static_cast<int>(readings.rows.size()));
        writer.save(std::move(readings), tally);
    }
}

// Holds a meter for one reader, in this process and among the collectors sharing the store,
// for as long as it lives.
class MeterClaim {
public:
    MeterClaim(Claims& claims, kdb::Database& store, std::int64_t serial)
        : claims_(claims), store_(store), serial_(serial) {
        if (!claims_.claim(serial_)) return;
        try {
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

private:
    Claims& claims_;
    kdb::Database& store_;
    std::int64_t serial_;
    bool held_ = false;
};

}  // namespace

bool Claims::claim(std::int64_t serial) {
    std::lock_guard lock(mutex_);
    return serials_.insert(serial).second;
}

void Claims::release(std::int64_t serial) {
    std::lock_guard lock(mutex_);
    serials_.erase(serial);
}

MeterOutcome collect_meter(const Target& t, const Parts& parts, kdb::Database& store,
                           Claims& claims, Writer& writer) {
    Summary summary(t);
    auto tally = std::make_shared<MeterTally>();
    MeterOutcome outcome;
    try {
        kdb::MeterRow meter = parse_identity(
            fetch([&](char* out, int out_len, char* err, int err_len) {
                return kolvane_read_device_info(t.host.c_str(), t.meter.c_str(), t.options.c_str(),
                                                out, out_len, err, err_len);
            }),
            t.host, t.port);
        meter.unit = t.unit;
        summary.identify(meter);
        const std::int64_t serial = meter.serial;
        // The meter keeps one read position per log: a second reader would leave gaps in both.
        const MeterClaim claim(claims, store, serial);
        if (!claim.held()) {
            outcome.line = {{"host", t.host},
                            {"port", t.port},
                            {"meter", meter.model},
                            {"serial", serial},
                            {"busy", true}};
            return outcome;
        }
        read_parts(t, parts, std::move(meter), tally, writer, summary);
    } catch (const std::exception& e) {  // MeterFailed, a malformed document or the store's failure
        summary.set_error(e.what());
        outcome.failed = true;
    }
    writer.flush();
    outcome.line = summary.finish(*tally, parts);
    return outcome;
}

}  // namespace kcollect
