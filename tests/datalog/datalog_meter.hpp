// SPDX-License-Identifier: MIT
// The data log the output tests read: a scaled em133 whose file 1 holds three records of
// four columns (V1, Total kW, Total PF, Energy REG1), two records per block, and the texts
// the library makes of it.
#pragma once

#include "support/sim_meter.hpp"

namespace ktest {

inline std::vector<std::vector<uint16_t>> three_records() {
    return {
        ksim::datalog_record(0, 77, 1700000000, 123456, 0, {2301, 12345, -950, 123456}),
        ksim::datalog_record(0, 78, 1700000900, 0, 3, {2299, -5, 1000, 123500}),
        ksim::datalog_record(0x0001, 79, 1700001800, 999999, 17, {0, 0, 0, 0}),
    };
}

inline ksim::LogFile three_record_file() {
    ksim::LogFile file;
    file.records = three_records();
    file.records_per_block = 2;
    file.columns = {0x1100, 0x1400, 0x1403, 0x1780};
    return file;
}

// A scaled em133 serving `file` as file 1.
inline void serve(ktest::SimMeter& meter, const ksim::LogFile& file) {
    ktest::set_scaled_em133(meter.sim);
    meter.sim.set_log(1, file);
}

inline const char* const JSON_COLUMNS =
    "[{\"name\":\"V1\",\"unit\":\"V\",\"decimals\":1},"
    "{\"name\":\"Total kW\",\"unit\":\"kW\",\"decimals\":3},"
    "{\"name\":\"Total PF\",\"unit\":\"\",\"decimals\":3},"
    "{\"name\":\"Energy REG1\",\"unit\":\"kWh\",\"decimals\":2}]";

inline std::string json_header(int total, const std::string& columns = JSON_COLUMNS) {
    return "{\"type\":\"header\",\"meter\":\"em133\",\"host\":\"127.0.0.1\",\"file_id\":1,"
           "\"total\":" +
           std::to_string(total) + ",\"columns\":" + columns + "}";
}

inline const std::vector<std::string> JSON_RECORDS = {
    "{\"type\":\"record\",\"no\":1,\"seq\":77,\"timestamp\":\"2023-11-14T22:13:20.123Z\","
    "\"trigger\":\"SP\",\"values\":[230.1,12.345,-0.950,1234.56]}",
    "{\"type\":\"record\",\"no\":2,\"seq\":78,\"timestamp\":\"2023-11-14T22:28:20.000Z\","
    "\"trigger\":\"SP3\",\"values\":[229.9,-0.005,1.000,1235.00]}",
    "{\"type\":\"record\",\"no\":3,\"seq\":79,\"timestamp\":\"2023-11-14T22:43:20.999Z\","
    "\"trigger\":\"0x0011\",\"values\":[0.0,0.000,0.000,0.00]}",
};

inline const char* const CSV_HEADER =
    "No.,Date/Time,Trigger,V1 (V),Total kW (kW),Total PF,Energy REG1 (kWh)\n";
inline const std::vector<std::string> CSV_ROWS = {
    "1,14/11/23  22:13:20.123,SP,230.1,12.345,-0.950,1234.56\n",
    "2,14/11/23  22:28:20.000,SP3,229.9,-0.005,1.000,1235.00\n",
    "3,14/11/23  22:43:20.999,0x0011,0.0,0.000,0.000,0.00\n",
};

// The traffic before the first block request: scales, variant 2, select, variant 0.
inline std::vector<std::string> traffic_before_blocks() {
    return concat({SCALED_EM133_READS,
                   file_info_exchange(1, 2),
                   {"FC16 63120 [5,1,0,0]"},
                   file_info_exchange(1, 0)});
}

// The block traffic of three_record_file(): two records, acknowledge, the last one, acknowledge.
inline const std::vector<std::string> THREE_RECORD_BLOCKS = {
    "FC16 63120 [11,1,0,0,0,0]", "FC3 63152 8", "FC3 63160 32", "FC6 63120 [1]",
    "FC16 63120 [11,1,0,0,0,0]", "FC3 63152 8", "FC3 63160 16", "FC6 63120 [1]",
};

}  // namespace ktest
