// SPDX-License-Identifier: MIT
// The points operations: list the catalogue, read chosen points, read the live set.
#pragma once

#include <cstdint>
#include <vector>

#include "ground/document.hpp"
#include "meter/model.hpp"

namespace kolvane {

class ModbusTcpClient;

// The point ids named by a points text, in request order; throws on a faulty item.
std::vector<uint16_t> parse_points(const char* text);
// The live point set of a model, in ascending order.
std::vector<uint16_t> live_points(MeterModel model);

// Connects, reads the points family by family and returns the readings document.
Document read_points_impl(ModbusTcpClient& client, MeterModel model,
                          const std::vector<uint16_t>& points);
Document list_points_impl(MeterModel model);

}  // namespace kolvane
