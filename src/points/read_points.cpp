// SPDX-License-Identifier: MIT
#include <algorithm>
#include <map>

#include "ground/log.hpp"
#include "ground/text.hpp"
#include "meter/scales.hpp"
#include "modbus/client.hpp"
#include "points/catalogue.hpp"
#include "points/points.hpp"
#include "points/value_format.hpp"

namespace kolvane {
namespace {

using ValueMap = std::map<uint16_t, int32_t>;

uint16_t point_register(const FamilyBlock& family, MeterModel model, uint16_t pid) {
    const uint16_t base =
        model == MeterModel::EM235 ? family.em235_register : family.em133_register;
    return uint16_t(base + 2 * (pid - family.base_pid));
}

// Reads the registers of points first..last of one family in one range read and keeps the
// values of the requested ids among them.
void read_span(ModbusTcpClient& client, MeterModel model, const FamilyBlock& family, uint16_t first,
               uint16_t last, const std::vector<uint16_t>& requested, ValueMap& values) {
    const auto count = uint16_t(2 * (last - first + 1));
    const std::vector<uint16_t> words =
        read_words(client, point_register(family, model, first), count);
    for (const uint16_t pid : requested) {
        if (family_of(pid) != &family || pid < first || pid > last) continue;
        const size_t k = pid - first;
        values[pid] = raw_value(words[2 * k], words[2 * k + 1]);
    }
}

void read_family(ModbusTcpClient& client, MeterModel model, const FamilyBlock& family,
                 const std::vector<uint16_t>& requested, ValueMap& values,
                 std::string& last_error) {
    int first = -1, last = -1;
    for (const uint16_t pid : requested) {
        if (family_of(pid) != &family) continue;
        if (first < 0 || pid < first) first = pid;
        if (pid > last) last = pid;
    }
    if (first < 0) return;
    // Only the meter's answer that it has no such register leaves points out; any other failure
    // is the link's or the gateway's, not the points', and fails the call.
    try {
        read_span(client, model, family, uint16_t(first), uint16_t(last), requested, values);
        return;
    } catch (const std::exception& e) {
        if (!says_absent(e)) throw;
        last_error = e.what();
        log_msg(LogLevel::Debug, std::string("Block ") + family.name + " span failed (" + e.what() +
                                     "), reading points one by one");
    }
    for (const uint16_t pid : requested) {
        if (family_of(pid) != &family) continue;
        try {
            read_span(client, model, family, pid, pid, requested, values);
        } catch (const std::exception& e) {
            if (!says_absent(e)) throw;
            last_error = e.what();
            log_msg(LogLevel::Warning,
                    "Point " + hex4(pid) + " not readable on this meter: " + e.what());
        }
    }
}

}  // namespace

Document read_points_impl(ModbusTcpClient& client, MeterModel model,
                          const std::vector<uint16_t>& points) {
    client.connect();
    const DataScales scales = read_data_scales(client, model);
    ValueMap values;
    std::string last_error;
    for (const FamilyBlock& family : FAMILY_BLOCKS) {
        read_family(client, model, family, points, values, last_error);
    }
    if (values.empty()) throw std::runtime_error("No values could be read: " + last_error);

    std::string doc = "{";  // appended piece by piece: see list_logs_impl
    doc += doc_prefix(client.host(), model);
    doc += ",\"timestamp\":\"";
    doc += now_iso_utc();
    doc += "\",\"readings\":[";
    int written = 0;
    for (const uint16_t pid : points) {
        const auto found = values.find(pid);
        if (found == values.end()) continue;
        const ColumnFormat format = resolve_column(pid, ++written, model, scales);
        if (written > 1) doc += ',';
        doc += "{\"pid\":" + std::to_string(pid) + ",\"name\":\"";
        append_json_escaped(doc, format.name);
        doc += "\",\"value\":";
        append_value(doc, found->second, format);
        doc += ",\"unit\":\"";
        append_json_escaped(doc, format.unit);
        doc += "\"}";
    }
    doc += "]}";
    return {std::move(doc), written};
}

std::vector<uint16_t> live_points(MeterModel model) {
    const bool em235 = model == MeterModel::EM235;
    std::vector<uint16_t> ids;
    for (uint16_t pid = 0x1100; pid <= 0x1120; ++pid) ids.push_back(pid);
    for (uint16_t pid = 0x1400; pid <= 0x140C; ++pid) ids.push_back(pid);
    if (em235) ids.push_back(0x1500);
    for (uint16_t pid = 0x1501; pid <= 0x1504; ++pid) ids.push_back(pid);
    if (em235) ids.push_back(0x150E);
    for (const uint16_t pid : {0x1700, 0x1701, 0x1704, 0x1705, 0x1708}) ids.push_back(pid);
    if (em235) {
        for (const uint16_t pid : {0x1702, 0x1703, 0x1706, 0x1707}) ids.push_back(pid);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

namespace {

bool em235_only(uint16_t pid) {
    return pid == 0x1500 || pid == 0x150E || pid == 0x1702 || pid == 0x1703 || pid == 0x1706 ||
           pid == 0x1707;
}

}  // namespace

Document list_points_impl(MeterModel model) {
    std::string doc = std::string("{\"meter\":\"") + model_name(model) + "\",\"points\":[";
    int listed = 0;
    for (const auto& [pid, def] : param_table()) {
        const FamilyBlock* family = family_of(pid);
        if (family == nullptr || (model == MeterModel::EM133 && em235_only(pid))) continue;
        if (listed++ > 0) doc += ',';
        doc += "{\"pid\":" + std::to_string(pid) + ",\"name\":\"";
        append_json_escaped(doc, def.name);
        doc += "\",\"unit\":\"";
        append_json_escaped(doc, def.unit);
        doc += "\",\"group\":\"";
        doc += family->name;
        doc += "\"}";
    }
    doc += "]}";
    return {std::move(doc), listed};
}

}  // namespace kolvane
