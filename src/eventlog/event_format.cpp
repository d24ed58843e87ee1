// SPDX-License-Identifier: MIT
#include "eventlog/event_format.hpp"

#include "ground/text.hpp"
#include "logs/transfer.hpp"

namespace kolvane {
namespace {

void append_json_member(std::string& out, const char* key, const std::string& value) {
    out += ",\"";
    out += key;
    out += "\":\"";
    append_json_escaped(out, value);
    out += '"';
}

}  // namespace

std::string event_json_record(int number, std::span<const uint16_t> record, const EventFields& e) {
    std::string text = "{\"type\":\"record\",\"no\":" + std::to_string(number) +
                       ",\"seq\":" + std::to_string(record[1]) + ",\"timestamp\":\"" +
                       fmt_iso_utc(record_seconds(record), record_microseconds(record)) +
                       "\",\"event_no\":" + std::to_string(e.event_no);
    append_json_member(text, "cause", e.cause);
    append_json_member(text, "point", e.point);
    append_json_member(text, "state", e.state);
    append_json_member(text, "effect", e.effect);
    append_json_member(text, "target", e.target);
    text += ",\"source_id\":" + std::to_string(e.source_id) +
            ",\"effect_id\":" + std::to_string(e.effect_id) +
            ",\"value_triggered\":" + std::to_string(e.value_triggered) + "}";
    return text;
}

std::string event_csv_row(int number, std::span<const uint16_t> record, const EventFields& e) {
    return std::to_string(number) + ',' +
           fmt_hmi_datetime(record_seconds(record), record_microseconds(record)) + ',' +
           std::to_string(e.event_no) + ',' + csv_quote(e.cause) + ',' + csv_quote(e.point) + ',' +
           csv_quote(e.state) + ',' + csv_quote(e.effect) + ',' + csv_quote(e.target) + ',' +
           std::to_string(e.source_id) + ',' + std::to_string(e.effect_id) + ',' +
           std::to_string(e.value_triggered) + '\n';
}

}  // namespace kolvane
