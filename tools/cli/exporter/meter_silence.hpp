// SPDX-License-Identifier: MIT
// Which failures of a probe mean that the meter gave no answer: no reply within the time-out, no
// meter at its unit, a gateway busy after every try, a connection that could not be made or
// broke. Such a meter is held (meter_holds.hpp). A meter that answered, even with a refusal, is
// not; nor is a probe that failed for its neighbours' sake (no turn at the gateway in time) or
// because its client left.
#pragma once

#include <string>

namespace kexp {

// True when `error`, the library's message or one that ends with it ("Cannot read the energy
// decimals (register 2393): no reply from ..."), says that the meter or its gateway did not
// answer.
bool says_meter_silent(const std::string& error);

}  // namespace kexp
