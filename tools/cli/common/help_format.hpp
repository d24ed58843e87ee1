// SPDX-License-Identifier: MIT
// --help that fits a terminal of 80 columns. CLI11 prints every description on one line however
// long; this formatter fills descriptions, footers and the option and command lists to the width,
// continuation lines under the description column. It uses CLI11 only, so kolvane-sim compiles
// this file too and both programs' help looks alike.
#pragma once

#include <cstddef>
#include <initializer_list>

namespace CLI {
class App;
}

namespace kcli {

// 80 columns, or $COLUMNS when that is narrower (40 at least): the manual page takes each command's
// help as it is printed into its indented text, and asks for it narrower.
std::size_t help_width();

// Gives `app` the filling formatter. Call it before adding subcommands: a subcommand takes its
// parent's formatter when it is made.
void use_filled_help(CLI::App& app);

// Ends `command`'s help (after its footer) with "Examples:" and one indented "$ LINE" per line,
// the form help2man sets as examples in the manual page.
void add_examples(CLI::App& command, std::initializer_list<const char*> lines);

}  // namespace kcli
