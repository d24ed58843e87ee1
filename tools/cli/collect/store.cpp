// SPDX-License-Identifier: MIT
#include "store.hpp"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace kcollect {

std::string columns_json(const std::vector<Column>& columns) {
    nlohmann::json list = nlohmann::json::array();
    for (const Column& c : columns) list.push_back({c.name, c.unit});
    return list.dump();
}

std::unique_ptr<Store> open_store(const std::string& target) {
    auto starts_with = [&](const char* prefix) { return target.rfind(prefix, 0) == 0; };
    if (starts_with("postgresql://") || starts_with("postgres://"))
        return open_postgres_store(target);
    const std::string path = starts_with("sqlite:") ? target.substr(7) : target;
    // SQLite would take an empty name for a private temporary database, which nobody could query.
    if (path.empty()) throw std::runtime_error("--db needs a database file path");
    return open_sqlite_store(path);
}

}  // namespace kcollect
