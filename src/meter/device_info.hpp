// SPDX-License-Identifier: MIT
// The device information document: identity, firmware and the scaling setup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "meter/model.hpp"

namespace kolvane {

class ModbusTcpClient;

// Decodes the 16-byte model name held in identity words 4 to 11.
std::string decode_model_name(const std::vector<uint16_t>& identity);

// Connects, reads and returns the document.
std::string read_device_info_impl(ModbusTcpClient& client, MeterModel model);

}  // namespace kolvane
