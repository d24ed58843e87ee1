// SPDX-License-Identifier: MIT
// Indents a compact JSON text without touching its tokens, so numbers keep the digits the
// library printed.
#pragma once

#include <string>

namespace kcli {

// Two spaces per level, "name": value, empty objects and arrays kept as {} and [].
std::string indent_json(const std::string& compact);

}  // namespace kcli
