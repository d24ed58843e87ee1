// SPDX-License-Identifier: MIT
// Checks of the caller's arguments: pointers, the meter model name and the options text.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "meter/model.hpp"
#include "modbus/client.hpp"

namespace kolvane {

void require_non_null(const void* pointer, const char* name);
MeterModel parse_meter(const char* name);
ConnectionOptions parse_options(const char* options);
bool json_int_field(std::string_view json, std::string_view key, int64_t& value);
// The options' files member of the log directory: a mask of the file ids to ask about (bit n
// for file n), every file when absent.
uint32_t parse_files(const char* options);
// The options' after_seq member (0-65535) of the log streams; nullopt when absent.
std::optional<uint16_t> parse_after_seq(const char* options);
// The options' after_time_ms member (0 or more; only with after_seq): the time stamp of the
// record at after_seq as the meter wrote it, checked on the meter's record there.
std::optional<int64_t> parse_after_time(const char* options);

}  // namespace kolvane
