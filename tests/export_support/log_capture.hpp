// The shared log capture, under the name these suites use.
#pragma once

#include "support/log_capture.hpp"

namespace kolvane_test {

using ktest::LogCapture;

}  // namespace kolvane_test
