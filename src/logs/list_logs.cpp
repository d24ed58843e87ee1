// SPDX-License-Identifier: MIT
#include <stdexcept>

#include "ground/log.hpp"
#include "logs/file_info.hpp"
#include "meter/scales.hpp"
#include "modbus/client.hpp"
#include "points/value_format.hpp"

namespace kolvane {

Document list_logs_impl(ModbusTcpClient& client, MeterModel model, uint32_t files) {
    client.connect();
    const DataScales scales = read_data_scales(client, model);
    // Appended piece by piece: g++ 12 at -O3 warns falsely on "literal" + std::string.
    std::string doc = "{";
    doc += doc_prefix(client.host(), model);
    doc += ",\"logs\":[";
    int listed = 0;
    // A file the meter says it does not have is left out; any other failure fails the call, so
    // that a busy gateway never passes for a meter without that log.
    for (int file_id = 0; file_id <= 16; ++file_id) {
        if ((files >> file_id & 1u) == 0) continue;
        const FileInfo info = file_info_var0(client, file_id);
        if (!info.ok) continue;
        ColumnIdList columns;
        if (file_id > 0) {
            columns = file_info_var2(client, file_id);
            if (columns.column_count == 0 && info.records == 0) continue;
        }
        if (listed++ > 0) doc += ',';
        doc += "{\"file_id\":" + std::to_string(file_id) + ",\"type\":\"" +
               (file_id == 0 ? "eventlog" : "datalog") +
               "\",\"records\":" + std::to_string(info.records);
        if (file_id > 0) {
            std::vector<ColumnFormat> formats;
            for (int j = 1; j <= columns.column_count; ++j) {
                formats.push_back(resolve_column(columns.point_ids[j - 1], j, model, scales));
            }
            doc += ",\"columns\":";
            append_columns_json(doc, formats);
        }
        doc += '}';
    }
    doc += "]}";
    return {std::move(doc), listed};
}

}  // namespace kolvane
