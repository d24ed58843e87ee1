// SPDX-License-Identifier: MIT
// The file `kolvane report -o` may replace: a new one, or an HTML page written before, never the
// database it reads nor anything else that happens to be there.
#pragma once

#include "database/target.hpp"

#include <string>

namespace kreport {

// Why the report must not write `output` (nor its part file) when it reads `database`, one
// line; empty when it may. Refused: the database's own file or one of SQLite's files beside it
// (-wal, -shm, -journal), by file identity when it exists (a symbolic link, a hard link or
// another spelling of the path is the same file) and by path when it does not; and any other
// existing file but one that starts like an HTML document, after blanks.
std::string output_problem(const std::string& output, const kdb::Target& database);

}  // namespace kreport
