// SPDX-License-Identifier: MIT
// The commands of the tool, grouped by what they produce. Each group adds its subcommands to
// `app`; the subcommand that runs stores the tool's exit status in `status`.
#pragma once

namespace CLI {
class App;
}

namespace kcli {

// info, live, read, points, logs: one JSON document each.
void add_document_commands(CLI::App& app, int& status);

// datalog, eventlog: JSON lines or a CSV file.
void add_log_commands(CLI::App& app, int& status);

// export-all, diagnostics: CSV files on port 502.
void add_export_commands(CLI::App& app, int& status);

// scan: the meters behind one address, as hosts file lines.
void add_scan_command(CLI::App& app, int& status);

}  // namespace kcli
