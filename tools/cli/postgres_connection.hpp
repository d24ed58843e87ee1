// SPDX-License-Identifier: MIT
// Opening a PostgreSQL connection the way the collector and the report share: libpq's own URI
// and service syntax, and its many-line messages turned into the one line the tool prints.
#pragma once

#include <libpq-fe.h>

#include <string>

namespace kcli {

// libpq's message on one line: line breaks and runs of spaces become one space.
std::string one_line(const std::string& text);

// A connected connection, or std::runtime_error "Cannot connect to PostgreSQL: <reason>".
PGconn* connect_postgres(const std::string& uri);

}  // namespace kcli
