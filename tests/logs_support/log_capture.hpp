// The shared log capture, with the connection's own debug line filtered out: its text
// carries the port the kernel picked.
#pragma once

#include <string>
#include <vector>

#include "support/log_capture.hpp"

namespace logs_test {

using ktest::LogCapture;
using LogLine = ktest::LogEntry;

inline std::vector<LogLine> without_connect(const LogCapture& log) {
    std::vector<LogLine> kept;
    for (const LogLine& line : log.entries()) {
        if (line.message.rfind("Connected to ", 0) != 0) kept.push_back(line);
    }
    return kept;
}

}  // namespace logs_test
