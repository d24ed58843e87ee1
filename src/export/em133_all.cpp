// SPDX-License-Identifier: MIT
#include <stdexcept>
#include <vector>

#include "datalog/datalog.hpp"
#include "eventlog/eventlog.hpp"
#include "export/bundle.hpp"
#include "ground/text.hpp"
#include "modbus/client.hpp"

namespace kolvane {
namespace {

constexpr uint16_t CLOCK_GUARD = 2575;
constexpr uint16_t CLOCK_BLOCK = 4352;

void set_meter_clock(const std::string& host, uint16_t guard) {
    ModbusTcpClient client(host, ConnectionOptions{});
    client.connect();
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    const std::array<uint16_t, 7> block = clock_block(local);
    client.write_single_register(CLOCK_GUARD, guard);
    try {
        client.write_multiple_registers(CLOCK_BLOCK,
                                        std::vector<uint16_t>(block.begin(), block.end()));
    } catch (...) {
        try {
            client.write_single_register(CLOCK_GUARD, 0);
        } catch (const std::exception&) {
            // best effort: the clock failure is what the caller must hear about
        }
        throw;
    }
    client.write_single_register(CLOCK_GUARD, 0);
}

}  // namespace

std::array<uint16_t, 7> clock_block(const struct tm& local) {
    return {uint16_t(local.tm_sec),     uint16_t(local.tm_min),
            uint16_t(local.tm_hour),    uint16_t(local.tm_mday),
            uint16_t(local.tm_mon + 1), uint16_t(local.tm_year + 1900 - 2000),
            uint16_t(local.tm_wday + 1)};
}

int export_em133_all_impl(const std::string& host, bool set_clock, int clock_guard_value,
                          const std::string& out_dir) {
    const int guard = clock_guard_value >= 1 ? clock_guard_value : DEFAULT_CLOCK_GUARD;
    if (set_clock) {
        // The guard register holds 16 bits: a larger value would reach the meter cut short,
        // possibly as the 0 that ends the guarded write.
        if (guard > 65535) throw std::runtime_error("clock_guard_value must be at most 65535");
        set_meter_clock(host, uint16_t(guard));
    }

    const ProgressSink no_progress = [](int, int) {};
    int total = 0;
    for (int file_id = 1; file_id <= 3; ++file_id) {
        const std::string path =
            out_dir + "/EM133_DL" + std::to_string(file_id) + "_" + now_stamp() + ".csv";
        ModbusTcpClient client(host, ConnectionOptions{});
        total += export_datalog_impl(client, MeterModel::EM133, file_id, path, no_progress);
    }
    const std::string path = out_dir + "/EM133_EVENTLOG_" + now_stamp() + ".csv";
    ModbusTcpClient client(host, ConnectionOptions{});
    total += export_eventlog_impl(client, 0, path, no_progress);
    return total;
}

}  // namespace kolvane
