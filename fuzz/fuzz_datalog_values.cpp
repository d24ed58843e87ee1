// SPDX-License-Identifier: MIT
// Data log column lists and records of any content name and print without harm: the first
// bytes choose the model, scaling and column ids, the rest is a record.
#include <algorithm>
#include <string>

#include "datalog/columns.hpp"
#include "meter/device_info.hpp"
#include "words.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    kolvane::DatalogColumns columns;
    columns.model = (data[0] & 1) ? kolvane::MeterModel::EM235 : kolvane::MeterModel::EM133;
    const int decimals = data[1] % 5;
    columns.scales.voltage_decimals = columns.scales.power_decimals = decimals;
    for (int i = 0; i < decimals; ++i) columns.scales.voltage_scale *= 0.1;
    columns.scales.power_scale = columns.scales.voltage_scale;
    columns.scales.energy_units = {"kWh", "", "m3", "kvarh"};
    const std::vector<uint16_t> words = to_words(data + 2, size - 2);
    const size_t count = std::min<size_t>(data[0] >> 4, words.size());
    columns.point_ids.assign(words.begin(), words.begin() + long(count));
    columns.resolve(int(data[1] >> 3));
    if (columns.columns.empty()) columns.resolve_from_record(words.size());
    std::string printed;  // each value after a comma; no value holds a comma
    columns.append_values(printed, words, ',', true);
    if (size_t(std::count(printed.begin(), printed.end(), ',')) > columns.columns.size())
        __builtin_trap();
    if (!words.empty()) kolvane::fmt_trigger_event_type(words[0]);
    kolvane::decode_model_name(words);
    return 0;
}
