// SPDX-License-Identifier: MIT
// `kolvane report`: one self-contained HTML file of what `kolvane collect` stored.
#pragma once

namespace CLI {
class App;
}

namespace kcli {

void add_report_command(CLI::App& app, int& status);

}  // namespace kcli
