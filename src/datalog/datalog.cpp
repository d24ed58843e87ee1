// SPDX-License-Identifier: MIT
#include "datalog/datalog.hpp"
#include "ground/text.hpp"

#include "datalog/columns.hpp"
#include "datalog/datalog_format.hpp"
#include "ground/log.hpp"
#include "logs/file_info.hpp"
#include "logs/resume.hpp"
#include "logs/transfer.hpp"
#include "modbus/client.hpp"

namespace kolvane {
namespace {

// Connects and learns the columns: scaling, then File Info variant 2 (a meter that has no
// column list leaves them to the first record's size; any other failure fails the call).
DatalogColumns open_columns(ModbusTcpClient& client, MeterModel model, int file_id) {
    client.connect();
    DatalogColumns columns;
    columns.model = model;
    columns.scales = read_data_scales(client, model);
    const ColumnIdList list = file_info_var2(client, file_id);
    columns.column_count = list.column_count;
    columns.point_ids = list.point_ids;
    if (columns.column_count > 0) columns.resolve(columns.column_count);
    return columns;
}

std::string json_header(const ModbusTcpClient& client, const DatalogColumns& columns, int file_id,
                        int total) {
    std::string text = "{\"type\":\"header\"," + doc_prefix(client.host(), columns.model) +
                       ",\"file_id\":" + std::to_string(file_id) +
                       ",\"total\":" + std::to_string(total) + ",\"columns\":";
    append_columns_json(text, columns.columns);
    text += '}';
    return text;
}

std::string csv_header(const DatalogColumns& columns) {
    std::string line = "No.,Date/Time,Trigger";
    for (const ColumnFormat& column : columns.columns) line += "," + column.label;
    line += '\n';
    return line;
}

}  // namespace

int read_datalog_impl(ModbusTcpClient& client, MeterModel model, int file_id,
                      const RecordSink& deliver, std::optional<uint16_t> after_seq,
                      std::optional<int64_t> after_time_ms) {
    DatalogColumns columns = open_columns(client, model, file_id);
    const LogReadStart start = prepare_log_transfer(client, file_id);
    const int total = start.records;
    bool header_written = false;
    int number = 1;
    std::string text;
    const auto send_header = [&] {
        header_written = true;
        deliver(json_header(client, columns, file_id, total));
    };
    const int delivered = read_log_file_after(
        client, file_id, start, after_seq,
        [&](std::span<const uint16_t> record) {
            if (columns.columns.empty()) columns.resolve_from_record(record.size());
            if (!header_written) send_header();
            format_json_record(text, number++, record, columns);
            deliver(text);
        },
        after_time_ms);
    if (!header_written) send_header();
    return delivered;
}

int export_datalog_impl(ModbusTcpClient& client, MeterModel model, int file_id,
                        const std::string& csv_path, const ProgressSink& report_progress) {
    DatalogColumns columns = open_columns(client, model, file_id);
    CsvFile file = open_csv(csv_path);
    std::ofstream& csv = file.stream();
    const int total = prepare_log_read(client, file_id);
    bool header_written = false;
    int rows = 0;
    std::string line;
    const int delivered =
        read_log_file(client, file_id, total, [&](std::span<const uint16_t> record) {
            if (columns.columns.empty()) columns.resolve_from_record(record.size());
            if (!header_written) {
                csv << csv_header(columns);
                header_written = true;
            }
            format_csv_row(line, ++rows, record, columns);
            csv << line;
            report_progress(rows, total);
        });
    if (!header_written && !columns.columns.empty()) csv << csv_header(columns);
    file.close();
    return delivered;
}

}  // namespace kolvane
