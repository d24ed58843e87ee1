// SPDX-License-Identifier: MIT
// Where the feature code hands its output as it goes: each record text of a log stream, and
// the rows written so far of a CSV export. Either may throw Cancelled to stop the operation.
#pragma once

#include <functional>
#include <string>

namespace kolvane {

using RecordSink = std::function<void(const std::string& record)>;
// Rows written so far and the expected total (-1 when the meter cannot tell).
using ProgressSink = std::function<void(int done, int total)>;

}  // namespace kolvane
