// SPDX-License-Identifier: MIT
// Is the meter the model it was named as? Read as the other model, every value would be scaled
// wrongly: an em235 read as an em133 shows ten times its voltage.
#pragma once

#include <string>

namespace kcli {

// The problem with naming the meter whose device information document is `info` as `model`
// (em133, em235 or pm335), empty when there is none. Only a meter whose model name or model
// number names the other supported model, and nothing names `model`, is refused; an identity
// that names neither model is taken as it is. Throws std::runtime_error for a malformed
// document.
std::string identity_mismatch(const std::string& info, const std::string& model);

// The supported model (em133 or em235) that the identity in `info` names by its model name or
// number; empty when it names none, or the two disagree. Throws as identity_mismatch does.
std::string named_model(const std::string& info);

}  // namespace kcli
