// SPDX-License-Identifier: MIT
// Nothing is printed of a meter that is not the model it was named as: its values would be
// scaled wrongly.
#pragma once

#include "common/document.hpp"

#include <string>

namespace kcli {

// `call` (a document operation on the meter at `host`) made to fail with a one-line message when
// the meter is not `model`. A device information document (`is_info`) is checked itself; any
// other operation reads the meter's identity first, once.
DocumentCall identity_guarded(DocumentCall call, const std::string& host, const std::string& model,
                              const std::string& options, bool is_info);

}  // namespace kcli
