// SPDX-License-Identifier: MIT
// kolvane exporter: live values for Prometheus, one meter per scrape.
#pragma once

namespace CLI {
class App;
}

namespace kexp {

void add_exporter_command(CLI::App& app, int& status);

}  // namespace kexp
