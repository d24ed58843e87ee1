// SPDX-License-Identifier: MIT
// Inside the database floor: the two engines' backends and what they share.
#pragma once

#include "database/database.hpp"

#include <memory>
#include <string>
#include <vector>

namespace kdb {

std::unique_ptr<Database> open_sqlite_database(const std::string& path, Access access);
std::unique_ptr<Database> open_postgres_database(const std::string& uri, Access access);

// A data log's column layout as both engines keep it: a JSON array of [name, unit] pairs.
std::string columns_json(const std::vector<Column>& columns);

}  // namespace kdb
