// SPDX-License-Identifier: MIT
// The library's points text from the POINT arguments of `kolvane read`.
#pragma once

#include <string>
#include <vector>

namespace kcli {

// Numbers (decimal or 0x hexadecimal) pass as they are, anything else becomes a quoted name:
// {"4352", "V2", "0x1102"} gives [4352,"V2",0x1102].
std::string points_text(const std::vector<std::string>& points);

}  // namespace kcli
