// SPDX-License-Identifier: MIT
#include "capi/args.hpp"

#include "ground/ascii.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <stdexcept>
#include <string>

namespace kolvane {

void require_non_null(const void* pointer, const char* name) {
    if (pointer == nullptr) throw std::runtime_error(std::string(name) + " must not be null");
}

MeterModel parse_meter(const char* name) {
    std::string lowered(name);
    for (char& c : lowered) c = to_lower(c);
    if (lowered == "em133") return MeterModel::EM133;
    if (lowered == "em235" || lowered == "pm335") return MeterModel::EM235;
    throw std::runtime_error("Unknown meter model '" + std::string(name) +
                             "' (expected em133 or em235)");
}

bool json_int_field(std::string_view json, std::string_view key, int64_t& value) {
    std::string quoted;
    quoted.reserve(key.size() + 2);
    quoted.append(1, '"').append(key).append(1, '"');
    const size_t at = json.find(quoted);
    if (at == std::string_view::npos) return false;
    size_t pos = json.find(':', at + quoted.size());
    if (pos == std::string_view::npos) return false;
    ++pos;
    while (pos < json.size() && is_space(json[pos])) ++pos;
    // Convert by hand (a string_view need not be NUL-terminated): optional sign, decimal
    // digits, saturating at the 64-bit limits as strtoll does.
    size_t i = pos;
    bool negative = false;
    if (i < json.size() && (json[i] == '+' || json[i] == '-')) negative = json[i++] == '-';
    const size_t digits_start = i;
    uint64_t magnitude = 0;
    bool overflow = false;
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (; i < json.size() && json[i] >= '0' && json[i] <= '9'; ++i) {
        const uint64_t digit = uint64_t(json[i] - '0');
        if (!overflow && magnitude > (limit - digit) / 10) overflow = true;
        if (!overflow) magnitude = magnitude * 10 + digit;
    }
    if (i == digits_start) return false;
    if (overflow) {
        value = negative ? INT64_MIN : INT64_MAX;
    } else if (negative) {
        value = magnitude == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -int64_t(magnitude);
    } else {
        value = int64_t(magnitude);
    }
    return true;
}

namespace {

template <class T>
void apply_field(std::string_view json, const char* key, int64_t min, int64_t max,
                 const char* message, T& field) {
    int64_t value = 0;
    if (!json_int_field(json, key, value)) return;
    if (value < min || value > max) throw std::runtime_error(message);
    field = static_cast<T>(value);
}

}  // namespace

ConnectionOptions parse_options(const char* options) {
    ConnectionOptions parsed;
    if (options == nullptr || options[0] == '\0') return parsed;
    const std::string_view json(options);
    apply_field(json, "port", 1, 65535, "options.port must be 1-65535", parsed.port);
    apply_field(json, "unit_id", 0, 255, "options.unit_id must be 0-255", parsed.unit_id);
    apply_field(json, "timeout_ms", 100, 3600000, "options.timeout_ms must be 100-3600000",
                parsed.timeout_ms);
    apply_field(json, "deadline_ms", 1, 86400000, "options.deadline_ms must be 1-86400000",
                parsed.deadline_ms);
    apply_field(json, "request_gap_ms", 0, 10000, "options.request_gap_ms must be 0-10000",
                parsed.request_gap_ms);
    apply_field(json, "tries", 1, 10, "options.tries must be 1-10", parsed.tries);
    apply_field(json, "machine_turns", 0, 1, "options.machine_turns must be 0 or 1",
                parsed.machine_turns);
    apply_field(json, "rtu", 0, 1, "options.rtu must be 0 or 1", parsed.rtu);
    int64_t baud = 0;
    if (json_int_field(json, "baud", baud)) {
        constexpr int64_t SPEEDS[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};
        if (std::find(std::begin(SPEEDS), std::end(SPEEDS), baud) == std::end(SPEEDS)) {
            throw std::runtime_error(
                "options.baud must be 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 or "
                "230400");
        }
        parsed.baud = int32_t(baud);
    }
    apply_field(json, "parity", 0, 2, "options.parity must be 0 (none), 1 (odd) or 2 (even)",
                parsed.parity);
    apply_field(json, "stop_bits", 1, 2, "options.stop_bits must be 1 or 2", parsed.stop_bits);
    apply_field(json, "echo", 0, 1, "options.echo must be 0 or 1", parsed.echo);
    return parsed;
}

uint32_t parse_files(const char* options) {
    constexpr uint32_t ALL = (1u << 17) - 1;
    int64_t mask = ALL;
    if (options != nullptr && json_int_field(options, "files", mask) && (mask < 1 || mask > ALL)) {
        throw std::runtime_error("options.files must be 1-131071");
    }
    return uint32_t(mask);
}

std::optional<int64_t> parse_after_time(const char* options) {
    int64_t value = 0;
    if (options == nullptr || !json_int_field(options, "after_time_ms", value)) return std::nullopt;
    if (value < 0) throw std::runtime_error("options.after_time_ms must be 0 or more");
    if (!parse_after_seq(options))
        throw std::runtime_error("options.after_time_ms needs after_seq");
    return value;
}

std::optional<uint16_t> parse_after_seq(const char* options) {
    if (options == nullptr) return std::nullopt;
    const std::string_view json(options);
    constexpr std::string_view KEY = "\"after_seq\"";
    const size_t at = json.find(KEY);
    if (at == std::string_view::npos) return std::nullopt;
    size_t pos = at + KEY.size();
    while (pos < json.size() && is_space(json[pos])) ++pos;
    if (pos >= json.size() || json[pos] != ':') return std::nullopt;  // a text, not a member
    // Unlike the connection options, a value that is no plain integer is refused: reading "12"
    // or 12.5 as something else could skip records the caller does not hold.
    const char* message = "options.after_seq must be 0-65535";
    int64_t value = 0;
    if (!json_int_field(json.substr(at), KEY.substr(1, KEY.size() - 2), value)) {
        throw std::runtime_error(message);
    }
    ++pos;
    while (pos < json.size() && is_space(json[pos])) ++pos;
    if (pos < json.size() && (json[pos] == '+' || json[pos] == '-')) ++pos;
    while (pos < json.size() && json[pos] >= '0' && json[pos] <= '9') ++pos;
    const bool plain_end =
        pos == json.size() || json[pos] == ',' || json[pos] == '}' || is_space(json[pos]);
    if (!plain_end || value < 0 || value > 65535) throw std::runtime_error(message);
    return uint16_t(value);
}

}  // namespace kolvane
