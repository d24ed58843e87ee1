// The data log as a stream of JSON records or as a CSV file.
#pragma once

#include <string>

#include "api/args.hpp"
#include "kolvane.h"

namespace kolvane {

class ModbusTcpClient;

int read_datalog_impl(ModbusTcpClient& client, MeterModel model, int file_id,
                      kolvane_record_cb cb, void* user);
int export_datalog_impl(ModbusTcpClient& client, MeterModel model, int file_id,
                        const std::string& csv_path, kolvane_progress_cb progress, void* user);

}  // namespace kolvane
