// SPDX-License-Identifier: MIT
#include "database/schema.hpp"

#include <stdexcept>

namespace kdb {

void check_schema_version(std::int64_t found, const std::string& where) {
    if (found > SCHEMA_VERSION)
        throw std::runtime_error(where + "schema version " + std::to_string(found) +
                                 " is newer than this kolvane knows (" +
                                 std::to_string(SCHEMA_VERSION) + ")");
}

void upgrade_schema(std::span<const char* const> steps, std::int64_t found,
                    const std::function<void(const std::string&)>& exec) {
    if (found >= SCHEMA_VERSION) return;
    for (auto step = static_cast<std::size_t>(found); step < steps.size(); ++step)
        exec(steps[step]);
    exec("UPDATE schema_version SET version = " + std::to_string(SCHEMA_VERSION));
}

}  // namespace kdb
