// SPDX-License-Identifier: MIT
// The self-contained HTML file: the report's data as embedded JSON, the charting library with its
// licence, and the page's own script and style, so it opens without network access.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>

namespace kreport {

void write_page(std::ostream& out, const nlohmann::json& report);

}  // namespace kreport
