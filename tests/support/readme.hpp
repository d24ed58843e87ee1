// SPDX-License-Identifier: MIT
// The README's examples, for the tests that run what it tells users to write, so that what it
// shows is what was shown to work.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>

namespace ktest {

// The first code block fenced as ```LANGUAGE in the README's section `heading` (its whole line,
// e.g. "## Live values for Prometheus"), without the fences. Throws when there is none.
inline std::string readme_block(const std::string& heading, const std::string& language) {
    std::ifstream file(KOLVANE_README);
    if (!file) throw std::runtime_error("cannot read " KOLVANE_README);
    const std::size_t level = heading.find(' ');  // the number of '#'
    std::string line, block;
    bool in_section = false, in_block = false, in_other_block = false;
    while (std::getline(file, line)) {
        if (in_block) {
            if (line == "```") return block;
            block += line + "\n";
        } else if (!in_section) {
            in_section = line == heading;
        } else if (line.starts_with("```")) {
            in_block = !in_other_block && line == "```" + language;
            in_other_block = !in_block && !in_other_block;
        } else if (!in_other_block && line.starts_with('#') &&
                   line.find_first_not_of('#') == line.find(' ') && line.find(' ') <= level) {
            break;  // the next section of the same level or above
        }
    }
    throw std::runtime_error("no ```" + language + " block in the README's section \"" + heading +
                             "\"");
}

}  // namespace ktest
