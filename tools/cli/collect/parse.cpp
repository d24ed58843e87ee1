// SPDX-License-Identifier: MIT
#include "collect/parse.hpp"

#include <nlohmann/json.hpp>

#include <charconv>

namespace kcollect {

using nlohmann::json;

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Walks a record text member by member; each step takes what it expects at the cursor and
// returns false on anything else, leaving the text to the whole parse.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool literal(std::string_view expected) {
        if (text_.substr(at_, expected.size()) != expected) return false;
        at_ += expected.size();
        return true;
    }

    // A non-negative integer of at most 9 digits, no leading zero.
    bool count(int& out) {
        const std::size_t start = at_;
        while (at_ < text_.size() && is_digit(text_[at_])) ++at_;
        const std::size_t digits = at_ - start;
        if (digits == 0 || digits > 9 || (digits > 1 && text_[start] == '0')) return false;
        return std::from_chars(text_.data() + start, text_.data() + at_, out).ec == std::errc();
    }

    // A JSON string, decoded: printable ASCII with no escape is taken as it stands, anything
    // else is decoded by nlohmann, which refuses what JSON does.
    bool string(std::string& out) {
        const std::size_t open = at_;
        if (!literal("\"")) return false;
        bool plain = true;
        for (;;) {
            if (at_ >= text_.size()) return false;
            const auto c = static_cast<unsigned char>(text_[at_]);
            if (c == '"') break;
            if (c == '\\') {
                plain = false;
                ++at_;  // the escaped character, which may be a quote
                if (at_ >= text_.size()) return false;
            } else if (c < 0x20 || c > 0x7e) {
                plain = false;
            }
            ++at_;
        }
        ++at_;  // the closing quote
        if (plain) {
            out.assign(text_.substr(open + 1, at_ - open - 2));
            return true;
        }
        try {
            const std::string_view quoted = text_.substr(open, at_ - open);
            const json decoded = json::parse(quoted.begin(), quoted.end());
            if (!decoded.is_string()) return false;
            out = decoded.get<std::string>();
        } catch (const json::exception&) {
            return false;
        }
        return true;
    }

    // The values array, copied. Each value must be a plain decimal (no exponent) of at most 15
    // digits: such a decimal is exactly what the shortest form of its double stands for, so both
    // engines read the same double from it as from the text stored before. An integer gets a
    // ".0" so that SQLite's json_each gives it as REAL, as it gave the doubles written before.
    bool values(std::string& out) {
        if (!literal("[")) return false;
        out.reserve(text_.size() - at_ + 16);
        out = "[";
        if (!literal("]")) {
            for (;;) {
                if (!number(out)) return false;
                if (literal("]")) break;
                if (!literal(",")) return false;
                out += ',';
            }
        }
        out += ']';
        return true;
    }

    bool at_end() const { return at_ == text_.size(); }

private:
    bool number(std::string& out) {
        const std::size_t start = at_;
        literal("-");
        const std::size_t whole = at_;
        skip_digits();
        const std::size_t whole_digits = at_ - whole;
        if (whole_digits == 0 || (whole_digits > 1 && text_[whole] == '0')) return false;
        std::size_t digits = whole_digits;
        const bool fraction = literal(".");
        if (fraction) {
            const std::size_t first = at_;
            skip_digits();
            if (at_ == first) return false;
            digits += at_ - first;
        }
        if (digits > 15) return false;
        const std::string_view token = text_.substr(start, at_ - start);
        if (token == "-0") return false;  // read as the integer 0 before, not as -0.0
        out += token;
        if (!fraction) out += ".0";
        return true;
    }

    void skip_digits() {
        while (at_ < text_.size() && is_digit(text_[at_])) ++at_;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

kdb::MeterRow parse_identity(const std::string& info, const std::string& host, int port) {
    const json doc = json::parse(info);
    kdb::MeterRow meter;
    meter.serial = doc.at("serial").get<std::int64_t>();
    meter.model = doc.at("meter").get<std::string>();
    meter.model_name = doc.value("model_name", "");
    const json& firmware = doc.at("firmware");
    meter.firmware = std::to_string(firmware.at("version").get<int>()) + "." +
                     std::to_string(firmware.at("build").get<int>());
    meter.host = host;
    meter.port = port;
    meter.info = info;
    return meter;
}

void parse_log_directory(const std::string& document, kdb::MeterRow& meter) {
    const json doc = json::parse(document);  // kept: a range over a temporary's member would dangle
    for (const json& entry : doc.at("logs")) {
        kdb::MeterRow::Log log;
        log.file_id = entry.at("file_id").get<int>();
        log.type = entry.at("type").get<std::string>();
        log.records = entry.at("records").get<int>();
        for (const json& c : entry.value("columns", json::array()))
            log.columns.push_back(
                {c.at("name").get<std::string>(), c.at("unit").get<std::string>()});
        meter.logs.push_back(std::move(log));
    }
}

std::vector<kdb::Column> parse_datalog_header(const std::string& header) {
    std::vector<kdb::Column> columns;
    const json doc = json::parse(header);
    for (const json& c : doc.at("columns"))
        columns.push_back({c.at("name").get<std::string>(), c.at("unit").get<std::string>()});
    return columns;
}

std::optional<kdb::DatalogRow> scan_datalog_record(std::string_view record) {
    Scanner s(record);
    kdb::DatalogRow row;
    int number = 0;
    if (s.literal(R"({"type":"record","no":)") && s.count(number) && s.literal(R"(,"seq":)") &&
        s.count(row.seq) && s.literal(R"(,"timestamp":)") && s.string(row.recorded_at) &&
        s.literal(R"(,"trigger":)") && s.string(row.trigger) && s.literal(R"(,"values":)") &&
        s.values(row.values) && s.literal("}") && s.at_end())
        return row;
    return std::nullopt;
}

kdb::DatalogRow parse_datalog_record(const std::string& record) {
    if (std::optional<kdb::DatalogRow> scanned = scan_datalog_record(record))
        return std::move(*scanned);
    const json r = json::parse(record);
    kdb::DatalogRow row;
    row.recorded_at = r.at("timestamp").get<std::string>();
    row.seq = r.at("seq").get<int>();
    row.trigger = r.at("trigger").get<std::string>();
    // Through doubles, as every record was stored before the scan: refuses what is no number.
    row.values = json(r.at("values").get<std::vector<double>>()).dump();
    return row;
}

kdb::EventRow parse_event_record(const std::string& record) {
    const json r = json::parse(record);
    kdb::EventRow e;
    e.recorded_at = r.at("timestamp").get<std::string>();
    e.seq = r.at("seq").get<int>();
    e.event_no = r.at("event_no").get<int>();
    e.cause = r.at("cause").get<std::string>();
    e.point = r.at("point").get<std::string>();
    e.state = r.at("state").get<std::string>();
    e.effect = r.at("effect").get<std::string>();
    e.target = r.at("target").get<std::string>();
    e.source_id = r.at("source_id").get<int>();
    e.effect_id = r.at("effect_id").get<int>();
    e.value_triggered = r.at("value_triggered").get<std::int64_t>();
    return e;
}

kdb::ReadingBatch parse_readings(const std::string& document, std::int64_t serial) {
    const json doc = json::parse(document);
    kdb::ReadingBatch batch;
    batch.serial = serial;
    batch.taken_at = doc.at("timestamp").get<std::string>();
    for (const json& r : doc.at("readings")) {
        batch.rows.push_back({r.at("pid").get<int>(), r.at("name").get<std::string>(),
                              r.value("unit", ""), r.at("value").get<double>()});
    }
    return batch;
}

bool is_header(const std::string& text) { return text.rfind("{\"type\":\"header\"", 0) == 0; }

}  // namespace kcollect
