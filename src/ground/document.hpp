// SPDX-License-Identifier: MIT
// A finished JSON document and the number of entries it lists (readings, points, logs): the
// operation's result once the document has reached the caller.
#pragma once

#include <string>

namespace kolvane {

struct Document {
    std::string text;
    int entries = 0;
};

}  // namespace kolvane
