#include "eventlog/eventlog.hpp"

#include "api/frame.hpp"
#include "eventlog/decode.hpp"
#include "logs/transfer.hpp"
#include "modbus/client.hpp"

namespace kolvane {
namespace {

uint32_t dword(std::span<const uint16_t> record, size_t low) {
    return uint32_t(record[low]) | (uint32_t(record[low + 1]) << 16);
}

void append_json_member(std::string& out, const char* key, const std::string& value) {
    out += ",\"";
    out += key;
    out += "\":\"";
    append_json_escaped(out, value);
    out += '"';
}

std::string json_record(int number, std::span<const uint16_t> record, const EventFields& e) {
    std::string text = "{\"type\":\"record\",\"no\":" + std::to_string(number) +
                       ",\"seq\":" + std::to_string(record[1]) + ",\"timestamp\":\"" +
                       fmt_iso_utc(dword(record, 2), dword(record, 4)) +
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

std::string csv_row(int number, std::span<const uint16_t> record, const EventFields& e) {
    return std::to_string(number) + ',' + fmt_hmi_datetime(dword(record, 2), dword(record, 4)) +
           ',' + std::to_string(e.event_no) + ',' + csv_quote(e.cause) + ',' + csv_quote(e.point) +
           ',' + csv_quote(e.state) + ',' + csv_quote(e.effect) + ',' + csv_quote(e.target) +
           ',' + std::to_string(e.source_id) + ',' + std::to_string(e.effect_id) + ',' +
           std::to_string(e.value_triggered) + '\n';
}

constexpr const char* CSV_HEADER =
    "No.,Date/Time,Event No.,Cause,Point/Source,State,Effect,Target,Source ID,Effect ID,"
    "Value Triggered\n";

}  // namespace

int read_eventlog_impl(ModbusTcpClient& client, MeterModel model, int file_id,
                       kolvane_record_cb cb, void* user) {
    client.connect();
    const int total = prepare_log_read(client, file_id);
    deliver(cb, user, "{\"type\":\"header\"," + doc_prefix(client, model) +
                          ",\"file_id\":" + std::to_string(file_id) +
                          ",\"total\":" + std::to_string(total) + "}");
    int number = 1;
    return read_log_file(client, file_id, total, [&](std::span<const uint16_t> record) {
        deliver(cb, user, json_record(number++, record, decode_event(record)));
    });
}

int export_eventlog_impl(ModbusTcpClient& client, int file_id, const std::string& csv_path,
                         kolvane_progress_cb progress, void* user) {
    client.connect();
    CsvFile file = open_csv(csv_path);
    file.stream() << CSV_HEADER;
    const int total = prepare_log_read(client, file_id);
    int rows = 0;
    const int delivered = read_log_file(client, file_id, total, [&](std::span<const uint16_t> record) {
        file.stream() << csv_row(++rows, record, decode_event(record));
        report_progress(progress, user, rows, total);
    });
    file.close();
    return delivered;
}

}  // namespace kolvane
