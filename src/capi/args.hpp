// Checks of the caller's arguments: pointers, the meter model name and the options text.
#pragma once

#include <cstdint>
#include <string_view>

namespace kolvane {

enum class MeterModel { EM133 = 0, EM235 = 1 };

struct ConnectionOptions {
    uint16_t port = 502;
    uint8_t unit_id = 1;
    int32_t timeout_ms = 30000;
    // Bound of the whole call in milliseconds; 0 means none.
    int32_t deadline_ms = 0;
};

void require_non_null(const void* pointer, const char* name);
MeterModel parse_meter(const char* name);
ConnectionOptions parse_options(const char* options);
bool json_int_field(std::string_view json, std::string_view key, int64_t& value);

// "em133" or "em235": the canonical name printed in documents.
const char* model_name(MeterModel model) noexcept;

// ASCII classification, well defined for every byte whatever the process locale.
constexpr bool is_space(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr char to_lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

}  // namespace kolvane
