// SPDX-License-Identifier: MIT
// `kolvane collect`: keeps a site's meters in a database.
#pragma once

namespace CLI {
class App;
}

namespace kcli {

void add_collect_command(CLI::App& app, int& status);

}  // namespace kcli
