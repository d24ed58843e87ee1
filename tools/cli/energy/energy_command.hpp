// SPDX-License-Identifier: MIT
// kolvane energy: the figures a bill is checked against, from the collected data logs: each
// energy counter's energy over a billing period of whole days on the meter's clock, per month
// or per day, with its peak demand; or the interval data itself.
#pragma once

namespace CLI {
class App;
}

namespace kenergy {

void add_energy_command(CLI::App& app, int& status);

}  // namespace kenergy
