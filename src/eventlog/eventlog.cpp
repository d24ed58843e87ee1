// SPDX-License-Identifier: MIT
#include "eventlog/eventlog.hpp"
#include "ground/text.hpp"

#include "eventlog/decode.hpp"
#include "eventlog/event_format.hpp"
#include "ground/log.hpp"
#include "logs/resume.hpp"
#include "logs/transfer.hpp"
#include "modbus/client.hpp"

namespace kolvane {
namespace {

constexpr const char* CSV_HEADER =
    "No.,Date/Time,Event No.,Cause,Point/Source,State,Effect,Target,Source ID,Effect ID,"
    "Value Triggered\n";

}  // namespace

int read_eventlog_impl(ModbusTcpClient& client, MeterModel model, int file_id,
                       const RecordSink& deliver, std::optional<uint16_t> after_seq,
                       std::optional<int64_t> after_time_ms) {
    client.connect();
    const LogReadStart start = prepare_log_transfer(client, file_id);
    const int total = start.records;
    deliver("{\"type\":\"header\"," + doc_prefix(client.host(), model) + ",\"file_id\":" +
            std::to_string(file_id) + ",\"total\":" + std::to_string(total) + "}");
    int number = 1;
    return read_log_file_after(
        client, file_id, start, after_seq,
        [&](std::span<const uint16_t> record) {
            deliver(event_json_record(number++, record, decode_event(record)));
        },
        after_time_ms);
}

int export_eventlog_impl(ModbusTcpClient& client, int file_id, const std::string& csv_path,
                         const ProgressSink& report_progress) {
    client.connect();
    CsvFile file = open_csv(csv_path);
    file.stream() << CSV_HEADER;
    const int total = prepare_log_read(client, file_id);
    int rows = 0;
    const int delivered =
        read_log_file(client, file_id, total, [&](std::span<const uint16_t> record) {
            file.stream() << event_csv_row(++rows, record, decode_event(record));
            report_progress(rows, total);
        });
    file.close();
    return delivered;
}

}  // namespace kolvane
