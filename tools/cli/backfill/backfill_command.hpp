// SPDX-License-Identifier: MIT
// `kolvane backfill`: the collected data log history as an OpenMetrics file, under the
// exporter's metric names and the labels of the live series, for promtool to turn into blocks.
#pragma once

namespace CLI {
class App;
}

namespace kbackfill {

void add_backfill_command(CLI::App& app, int& status);

}  // namespace kbackfill
