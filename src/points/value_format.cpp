// SPDX-License-Identifier: MIT
#include "points/value_format.hpp"

#include <charconv>

#include "ground/text.hpp"
#include "points/catalogue.hpp"

namespace kolvane {
namespace {

// The unit of a point, with the unit configured for its energy register when there is one;
// a demand of an energy register counts in the register's unit less its trailing "h".
std::string point_unit(const ParamDef& def, const DataScales& scales) {
    const int n = def.energy_register;
    if (n <= 0 || scales.energy_units.size() < size_t(n) || scales.energy_units[n - 1].empty()) {
        return def.unit;
    }
    std::string unit = scales.energy_units[n - 1];
    if (def.kind == Kind::Power && unit.size() > 1 && unit.back() == 'h') unit.pop_back();
    return unit;
}

void set_scaling(ColumnFormat& f, Kind kind, MeterModel model, const DataScales& s) {
    switch (kind) {
        case Kind::Voltage:
            f.scale = s.voltage_scale;
            f.decimals = s.voltage_decimals;
            break;
        case Kind::Current:
            f.scale = s.current_scale;
            f.decimals = s.current_decimals;
            break;
        case Kind::Power:
            f.scale = s.power_scale;
            f.decimals = s.power_decimals;
            break;
        case Kind::Energy:
            f.scale = s.energy_scale;
            f.decimals = s.energy_decimals;
            break;
        case Kind::PowerFactor:
        case Kind::Frequency3:
            f.scale = 0.001;
            f.decimals = 3;
            break;
        case Kind::Percent:
        case Kind::KFactor:
        case Kind::Angle:
            f.scale = 0.1;
            f.decimals = 1;
            break;
        case Kind::Frequency2:
            f.scale = 0.01;
            f.decimals = 2;
            break;
        case Kind::Frequency4:
            f.scale = 0.0001;
            f.decimals = 4;
            break;
        case Kind::Unbalance:
            if (model == MeterModel::EM235) {
                f.scale = 0.1;
                f.decimals = 1;
            }
            break;
    }
}

// Appends raw / 10^decimals in exact decimal when the scale is 10^-decimals: what format_fixed
// prints for raw * scale then, since for |raw| < 2^31 the product is off the exact value by far
// less than half a unit of the last digit. Returns false for any other scale.
bool append_decimal(std::string& out, int32_t raw, double scale, int decimals) {
    static constexpr int64_t POW10[] = {1,      10,      100,      1000,      10000,
                                        100000, 1000000, 10000000, 100000000, 1000000000};
    if (decimals < 1 || decimals > 9) return false;
    const double ratio = scale * double(POW10[decimals]);
    if (ratio < 1.0 - 1e-12 || ratio > 1.0 + 1e-12) return false;
    const int64_t value = raw;
    const uint64_t magnitude = uint64_t(value < 0 ? -value : value);
    char text[32];
    char* end = text;
    if (value < 0) *end++ = '-';
    end = std::to_chars(end, text + sizeof text, magnitude / uint64_t(POW10[decimals])).ptr;
    *end++ = '.';
    uint64_t fraction = magnitude % uint64_t(POW10[decimals]);
    for (int i = decimals - 1; i >= 0; --i, fraction /= 10) end[i] = char('0' + fraction % 10);
    out.append(text, end + decimals);
    return true;
}

}  // namespace

ColumnFormat resolve_column(uint16_t point_id, int column_no, MeterModel model,
                            const DataScales& scales) {
    ColumnFormat format;
    const auto& table = param_table();
    const auto found = table.find(point_id);
    if (found == table.end()) {
        format.label = "Param_" + std::to_string(column_no);
        if (point_id != 0) format.label += " (" + hex4(point_id) + ")";
        format.name = format.label;
        return format;
    }
    const ParamDef& def = found->second;
    format.name = def.name;
    format.unit = point_unit(def, scales);
    format.label = format.unit.empty() ? format.name : format.name + " (" + format.unit + ")";
    set_scaling(format, def.kind, model, scales);
    return format;
}

void append_value(std::string& out, int32_t raw, const ColumnFormat& format) {
    if (format.decimals != 0 || format.scale != 1.0) {
        if (!append_decimal(out, raw, format.scale, format.decimals)) {
            out += format_fixed(double(raw) * format.scale, format.decimals);
        }
        return;
    }
    char text[16];
    const auto result = std::to_chars(text, text + sizeof text, raw);
    out.append(text, result.ptr);
}

void append_columns_json(std::string& out, const std::vector<ColumnFormat>& columns) {
    out += '[';
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) out += ',';
        out += "{\"name\":\"";
        append_json_escaped(out, columns[i].name);
        out += "\",\"unit\":\"";
        append_json_escaped(out, columns[i].unit);
        out += "\",\"decimals\":" + std::to_string(columns[i].decimals) + "}";
    }
    out += ']';
}

std::string format_value(int32_t raw, const ColumnFormat& format) {
    std::string out;
    append_value(out, raw, format);
    return out;
}

}  // namespace kolvane
