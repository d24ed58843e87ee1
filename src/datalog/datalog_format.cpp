// SPDX-License-Identifier: MIT
#include "datalog/datalog_format.hpp"

#include "ground/text.hpp"
#include "logs/transfer.hpp"

namespace kolvane {

void format_json_record(std::string& text, int number, std::span<const uint16_t> record,
                        const DatalogColumns& columns) {
    text = "{\"type\":\"record\",\"no\":" + std::to_string(number) +
           ",\"seq\":" + std::to_string(record[1]) + ",\"timestamp\":\"" +
           fmt_iso_utc(record_seconds(record), record_microseconds(record)) + "\",\"trigger\":\"" +
           fmt_trigger_event_type(record[6]) + "\",\"values\":[";
    columns.append_values(text, record, ',', false);
    text += "]}";
}

void format_csv_row(std::string& line, int row, std::span<const uint16_t> record,
                    const DatalogColumns& columns) {
    line = std::to_string(row) + ',' +
           fmt_hmi_datetime(record_seconds(record), record_microseconds(record)) + ',' +
           fmt_trigger_event_type(record[6]);
    columns.append_values(line, record, ',', true);
    line += '\n';
}

}  // namespace kolvane
